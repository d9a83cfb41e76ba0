#pragma once
// The pages a site's sitemaps list, joined to the links of the top page after its own, at the same
// depth, while the FollowSitemaps setting asks: the sitemaps are those robots.txt names (fetched for
// them alone when it is not followed), else /sitemap.xml; an index's sitemaps are read where the
// index stands. Each listed page is probed and logged as any link is, and queued when in scope.
// A sitemap is neither saved, counted nor listed unless the file filters want its own file; one that
// robots.txt names and that cannot be read is told in the failure report.

#include "crawl/crawlcontext.h"

// After the top page's links are queued; topPage: the top page's address, whose host's sitemaps
// are read. A stop leaves the top page's record to be taken again.
void JoinSitemapPages(CrawlContext& context, const QString& topPage);
