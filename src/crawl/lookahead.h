#pragma once
// What the crawl tells a transfer control with several connections is coming, so the network can
// work ahead while records are still applied one after the other: the HEAD probes of a page's links
// when the page is about to be scanned, the first GET of the next records of the work list when a
// record is taken, and the next pieces of a ranged file. Each request is built with the functions
// the crawl itself sends it with, so an executed request finds its prediction byte for byte; a
// prediction that turns out wrong is never executed and is dropped with its record's tag.
// With one connection nothing is predicted.

#include "crawl/crawlcontext.h"
#include "crawl/fetchplan.h"

#include <QString>
#include <optional>

// Before the links of the page are resolved (the depth check passed), in the state they see;
// resolvedFrom: where the page was found, against which its links resolve; syntax: as it is scanned.
void PredictPageProbes(CrawlContext& context, const QString& pageAddress, const QString& resolvedFrom,
    const QString& pageText, LinkSyntax syntax);
// Before links listed elsewhere than in a page (a sitemap's) are resolved as links of the page
// pageAddress: their probes, as that page's scan would predict them.
void PredictListedProbes(CrawlContext& context, const QString& pageAddress, const QStringList& addresses);
// The page in progress as walked for its probes, for its scan to take rather than walk the page
// again; nothing when it was not walked, or as other text, address or syntax.
std::optional<CrawlContext::WalkedPage> TakeWalkedPage(
    CrawlContext& context, const QString& pageText, const QString& resolvedFrom, LinkSyntax syntax);
// While the scan of a walked page is at link scanned: the probes of its next links, a stretch at a
// time, as the first stretch was predicted (a page of thousands of links has them all running
// ahead, not only its first).
void PredictFurtherProbes(
    CrawlContext& context, const QString& pageAddress, CrawlContext::WalkedPage& page, qsizetype scanned);
// When a record has been taken: its first request, if it was not predicted yet, and that of each of
// the next records of the work list; and the probes of the coming pages that have arrived already.
void PredictComingFetches(CrawlContext& context, const WorkRecord& taken);
// As a record is queued: one that comes into the window the record taken opened is planned at once,
// so that a page's first links are fetched while its scan goes on (the next level's first pages,
// the top page's own links).
void PredictQueuedFetches(CrawlContext& context);
// Before a ranged piece of address is requested: the pieces from nextStart on of a body of length
// bytes; around: the record's own lines around the Range lines.
void PredictRangedPieces(
    CrawlContext& context, const QString& address, const FetchHeaderLines& around, qint64 nextStart, qint64 length);
