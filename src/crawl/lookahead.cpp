#include "crawl/lookahead.h"

#include "address/addressfunctions.h"
#include "crawl/fetchplan.h"
#include "crawl/httpheaders.h"
#include "crawl/linkaddress.h"
#include "crawl/linkresolver.h"
#include "crawl/pagelinks.h"
#include "crawl/robots.h"

#include <QSet>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// How far ahead the crawl looks, in connections' worth: records of the work list and ranged pieces.
constexpr int RecordsPerConnection = 2;
constexpr int PiecesPerConnection = 1;
// Probes of one stretch of a page predicted at most; the next stretch as the scan goes.
constexpr int MaxProbesPerPage = 256;
// Links of walked pages kept for their scans at most (some 20 MB).
constexpr qsizetype MostKeptLinks = 100000;

// How many records ahead the crawl predicts: the connections' worth, and as many more as HTTP/2
// carries at once.
int window(const CrawlContext& c)
{
    return std::max(c.transfer.connections() * RecordsPerConnection, c.transfer.requestsAtOnce());
}

// The probe of one link of the page pageAddress, tagged with the page's record; false when it is
// not probed or has been predicted for this page already.
bool predictProbe(CrawlContext& c, WorkRecord& record, const QString& pageAddress, const QString& base, qint64 tag,
    QSet<QString>& predicted, const QString* resolved = nullptr)
{
    const CrawlState& s = c.state;
    const QString link = ProbeTarget(s, record, base, resolved);
    if (link.isEmpty() || predicted.contains(link) || !RobotsAllow(s, link))
        return false;
    predicted.insert(link);
    // A page before this one links it too: that page probes it, with its own Referer. Or this page
    // had it predicted in an earlier stretch.
    const auto earlier = c.probeTags.constFind(link);
    if (earlier != c.probeTags.cend() && *earlier >= c.recordTag && *earlier <= tag)
        return true;
    c.probeTags.insert(link, tag);
    c.transfer.predict(link, u"HEAD"_s, ProbeHeaderLines(s, link, pageAddress), tag);
    return true;
}

// The probes of the next stretch of a walked page's links, from where the last stretch ended.
void predictStretch(
    CrawlContext& c, CrawlContext::WalkedPage& page, const QString& pageAddress, const QString& chain, qint64 tag)
{
    QSet<QString> predicted;
    // Each link's address is worked out once, here, and its scan takes it.
    for (; page.predictedThrough < page.links.size() && predicted.size() < MaxProbesPerPage; ++page.predictedThrough) {
        WalkedLink& link = page.links[page.predictedThrough];
        if (ImportsTooDeep(page.syntax, chain, link.record.address))
            continue;
        link.resolved = ResolvedAddress(link.record, link.base);
        WorkRecord record = link.record;
        predictProbe(c, record, pageAddress, link.base, tag, predicted, &*link.resolved);
    }
}

// The probes of a page's links, tagged with the page's record: the same requests whichever record
// is in progress, as the depth and referrer are the page's own. The page is walked once, and its
// links kept for its scan.
void predictProbes(CrawlContext& c, const QString& pageAddress, const QString& chain, const QString& resolvedFrom,
    const QString& pageText, LinkSyntax syntax, qint64 tag)
{
    CrawlContext::WalkedPage page { tag, pageText.size(), qHash(pageText), resolvedFrom, syntax,
        WalkPageLinks(pageText, resolvedFrom, syntax) };
    predictStretch(c, page, pageAddress, chain, tag);
    // Pages ahead keep their links within a bound, whatever their size; a page beyond it is walked
    // again by its scan.
    qsizetype kept = 0;
    for (const CrawlContext::WalkedPage& walked : std::as_const(c.walkedPages))
        kept += walked.links.size();
    if (kept + page.links.size() <= MostKeptLinks)
        c.walkedPages.append(std::move(page));
}

// The coming pages whose answers have arrived get their links' probes predicted, as the link scan
// would make them with the page's depth. In the crawl's order, so that a link is predicted for the
// first page that links it: a page whose answer is not at hand (or never is, fetched in pieces or
// an error page) holds the later ones back until it is taken.
void predictProbesAhead(CrawlContext& c)
{
    CrawlState& s = c.state;
    const qint16 depthNow = s.CurDepth;
    const qint64 reach = c.recordTag + window(c);
    while (!c.ownProbesPending && !c.pagesAhead.isEmpty()) {
        const CrawlContext::PageAhead& page = c.pagesAhead.front();
        if (page.tag <= c.recordTag) {
            c.pagesAhead.removeFirst(); // taken: its scan predicts what it needs
            continue;
        }
        QByteArray headers;
        QString finalUrl;
        QByteArray body;
        if (page.tag > reach || !page.whole
            || !c.transfer.answerFetchedAhead(page.record.address, u"GET"_s, page.headerLines, headers, finalUrl, body))
            break;
        const QString headerText = QString::fromLatin1(headers);
        if (StatusCode(StatusLine(headerText)) != 200)
            break;
        bool decoded = false;
        const QString text = DecodePageText(body, CharsetOf(HeaderValue(headerText, u"content-type:"_s)), &decoded);
        s.CurDepth = LinkDepthOf(s, page.record);
        predictProbes(c, page.record.address, page.record.referrerChain,
            finalUrl.isEmpty() ? page.record.address : finalUrl, text, LinkSyntaxOf(s, page.record), page.tag);
        s.CurDepth = depthNow;
        c.pagesAhead.removeFirst();
    }
}

} // namespace

void PredictPageProbes(CrawlContext& c, const QString& pageAddress, const QString& resolvedFrom,
    const QString& pageText, LinkSyntax syntax)
{
    if (c.transfer.connections() <= 1)
        return;
    // A page looked at ahead has its probes predicted already: reading it again for them would
    // double the cost of a page of thousands of links, the scan itself aside.
    if (c.ownProbesPending)
        predictProbes(c, pageAddress, c.state.RefChain, resolvedFrom, pageText, syntax, c.recordTag);
    // The pages after it may have theirs predicted now.
    c.ownProbesPending = false;
    predictProbesAhead(c);
}

std::optional<CrawlContext::WalkedPage> TakeWalkedPage(
    CrawlContext& c, const QString& pageText, const QString& resolvedFrom, LinkSyntax syntax)
{
    std::optional<CrawlContext::WalkedPage> walked;
    for (CrawlContext::WalkedPage& page : c.walkedPages)
        if (page.tag == c.recordTag && page.syntax == syntax && page.resolvedFrom == resolvedFrom
            && page.textSize == pageText.size() && page.textHash == qHash(pageText))
            walked = std::move(page);
    c.walkedPages.removeIf([&c](const CrawlContext::WalkedPage& page) { return page.tag <= c.recordTag; });
    return walked;
}

void PredictFurtherProbes(
    CrawlContext& c, const QString& pageAddress, CrawlContext::WalkedPage& page, qsizetype scanned)
{
    // A stretch ahead of the scan, so its probes are answered before it gets there.
    if (page.predictedThrough < page.links.size() && scanned + MaxProbesPerPage / 2 >= page.predictedThrough)
        predictStretch(c, page, pageAddress, c.state.RefChain, c.recordTag);
}

void PredictListedProbes(CrawlContext& c, const QString& pageAddress, const QStringList& addresses)
{
    if (c.transfer.connections() <= 1)
        return;
    QSet<QString> predicted;
    const QString directory = DirectoryAddressOf(pageAddress);
    const QString root = SiteRootOf(pageAddress);
    for (const QString& address : addresses) {
        WorkRecord record;
        record.address = address;
        record.directoryAddress = directory;
        record.siteRoot = root;
        predictProbe(c, record, pageAddress, {}, c.recordTag, predicted);
    }
}

namespace {

// The first request of the record of tag, planned once.
void predictRecord(CrawlContext& c, const WorkRecord& record, qint64 tag)
{
    const CrawlState& s = c.state;
    c.predictedThrough = tag;
    const FirstRequest request = FirstRequestOf(s, record);
    if (!request.verb.isEmpty() && RobotsAllow(s, record.address)) {
        c.transfer.predict(record.address, request.verb, request.headerLines, tag);
        if (tag > c.recordTag && request.scanned)
            c.pagesAhead.append({ tag, record, request.headerLines, request.scannedWhole });
    }
}

// The records of tags from tag to last that the list holds, in order.
// Record tag t stands on line WorkLine + (t - recordTag) - 1 of the list.
void predictListed(CrawlContext& c, qint64 tag, qint64 last)
{
    const CrawlState& s = c.state;
    const QList<WorkRecord> coming
        = c.workLists.peek(s.WorkList, s.WorkLine + qint32(tag - c.recordTag - 1), int(last - tag + 1));
    for (const WorkRecord& record : coming)
        predictRecord(c, record, tag++);
}

} // namespace

void PredictComingFetches(CrawlContext& c, const WorkRecord& taken)
{
    const int connections = c.transfer.connections();
    if (connections <= 1)
        return;
    const CrawlState& s = c.state;
    // The record taken now: a page whose links' probes were not predicted ahead predicts them as it
    // is scanned, before any later page's are.
    c.ownProbesPending = false;
    while (!c.pagesAhead.isEmpty() && c.pagesAhead.front().tag <= c.recordTag) {
        c.ownProbesPending = c.ownProbesPending || c.pagesAhead.front().tag == c.recordTag;
        c.pagesAhead.removeFirst();
    }
    if (c.predictedThrough < c.recordTag)
        c.ownProbesPending = FirstRequestOf(s, taken).scanned;
    c.probeTags.removeIf([&c](const QHash<QString, qint64>::iterator it) { return it.value() < c.recordTag; });
    c.walkedPages.removeIf([&c](const CrawlContext::WalkedPage& page) { return page.tag < c.recordTag; });
    const qint64 last = c.recordTag + window(c);
    // Each record is planned once, when it first comes into sight: the record just taken first (one
    // queued by the page before it was not in sight yet), then those after the last one planned.
    qint64 tag = std::max(c.predictedThrough + 1, c.recordTag);
    if (tag > last) {
        predictProbesAhead(c);
        return;
    }
    if (tag == c.recordTag) {
        predictRecord(c, taken, tag);
        ++tag;
    }
    predictListed(c, tag, last);
    predictProbesAhead(c);
}

void PredictQueuedFetches(CrawlContext& c)
{
    // Only while the record taken has had its coming records planned, and the window has room.
    if (c.transfer.connections() <= 1 || c.predictedThrough < c.recordTag)
        return;
    const qint64 last = c.recordTag + window(c);
    if (c.predictedThrough < last)
        predictListed(c, c.predictedThrough + 1, last);
}

void PredictRangedPieces(
    CrawlContext& c, const QString& address, const FetchHeaderLines& around, qint64 nextStart, qint64 length)
{
    const int connections = c.transfer.connections();
    if (connections <= 1 || c.state.BufferSize <= 0)
        return;
    const CrawlState& s = c.state;
    qint64 start = nextStart;
    for (int i = 0; i < connections * PiecesPerConnection && start < length; ++i) {
        const qint64 end = PieceEnd(s, start, length);
        c.transfer.predict(address, u"GET"_s, around.around(RangeLines(s.ETag, start, end)), c.recordTag);
        start = end + 1;
    }
}
