#pragma once
// Scanning a downloaded page for links: every value cut from the page is resolved and probed, and
// the page's accepted links join the end of the work list when the page is done, which makes the
// crawl go level by level.

#include "crawl/crawlcontext.h"

#include <QStringList>

// pageAddress: the page's address as linked, the referrer of its links; foundAt: where the page was
// finally found after redirects, against which its relative links resolve (empty: pageAddress).
void ScanPageLinks(
    CrawlContext& context, const QString& pageAddress, const QString& pageText, const QString& foundAt = {});

// The base a base tag's href value sets for the links after it on the page, or "" when it gives none.
QString BaseTagAddress(const QString& value, const QString& pageDirectory, const QString& pageRoot);
