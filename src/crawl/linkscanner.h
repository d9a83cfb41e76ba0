#pragma once
// Scanning a downloaded page for links: every value cut from the page is resolved and probed, and
// each accepted link joins the end of the work list as soon as it is found; the links of a page
// come after everything queued before it, which makes the crawl go level by level.

#include "crawl/crawlcontext.h"
#include "crawl/pagelinks.h"
#include "records/workrecord.h"

#include <QStringList>

// pageAddress: the page's address as linked, the referrer of its links; foundAt: where the page was
// finally found after redirects, against which its relative links resolve (empty: pageAddress).
void ScanPageLinks(CrawlContext& context, const QString& pageAddress, const QString& pageText,
    const QString& foundAt = {}, LinkSyntax syntax = LinkSyntax::Classic);
// Resolves and probes one link of the page pageAddress, in the record's form (field 0 the raw value,
// 3 the page's directory address, 4 its root), and queues it when it is followed; resolved: its
// ResolvedAddress, when known.
void QueueLink(CrawlContext& context, WorkRecord& record, const QString& pageAddress, const QString& baseAddress = {},
    const QString* resolved = nullptr);
