#pragma once
// The crawl loop: takes the work records in order, stops at the depth limit or on Stop, fetches
// each with GET (whole, or in ranged pieces guarded by the entity tag), repeats a short transfer
// once, logs and checks what was saved, and hands pages to the link scanner.

#include "crawl/crawlcontext.h"

void FetchWorkItems(CrawlContext& context);
