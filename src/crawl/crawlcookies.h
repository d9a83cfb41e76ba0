#pragma once
// The cookies a crawl carries: a browser's cookies.txt that the settings name, given to the
// transfer control as a crawl starts, and the cookies sites set, kept beside the resume record
// whenever they change so that a resumed crawl goes on with them.

#include "crawl/crawlcontext.h"

// Gives the transfer control the cookies of the file the settings name that belong to the top
// address's host, or none when they name no file. Fails, leaving the control as it was, when the
// file cannot be read, is no cookies.txt, or holds no cookie of that host that is still valid.
IoStatus TakeBrowserCookies(CrawlContext& context, const QString& topAddress);
// Forgets the cookies a stopped crawl of the site kept, as a new crawl of it starts.
void ForgetKeptCookies(CrawlContext& context);
// Gives the transfer control the cookies the crawl in siteDir had when it stopped.
void RestoreKeptCookies(CrawlContext& context, const QString& siteDir);
// Keeps the transfer control's cookies beside the resume record when they changed since they were
// last kept.
void KeepChangedCookies(CrawlContext& context);
