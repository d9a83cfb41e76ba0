#include "crawl/lookahead.h"

#include "crawl/fetchplan.h"
#include "crawl/linkaddress.h"
#include "crawl/linkresolver.h"
#include "crawl/pagelinks.h"
#include "crawl/robots.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace {

// How far ahead the crawl looks, in connections' worth: records of the work list and ranged pieces.
constexpr int RecordsPerConnection = 2;
constexpr int PiecesPerConnection = 1;
// Probes of one page predicted at most; the rest are simply made when their turn comes.
constexpr int MaxProbesPerPage = 256;

} // namespace

void PredictPageProbes(CrawlContext& c, const QString& pageAddress, const QString& resolvedFrom,
    const QString& pageText, LinkSyntax syntax)
{
    if (c.transfer.connections() <= 1)
        return;
    const CrawlState& s = c.state;
    QSet<QString> predicted;
    PageLinks links(pageText, resolvedFrom, syntax);
    while (predicted.size() < MaxProbesPerPage && links.advance()) {
        if (!links.isLink())
            continue;
        WorkRecord record = links.record();
        const QString link = ProbeTarget(s, record, links.base());
        if (link.isEmpty() || predicted.contains(link) || !RobotsAllow(s, link))
            continue;
        predicted.insert(link);
        c.transfer.predict(link, u"HEAD"_s, ProbeHeaderLines(s, link, pageAddress), c.recordTag);
    }
}

void PredictComingFetches(CrawlContext& c, const WorkRecord& taken)
{
    const int connections = c.transfer.connections();
    if (connections <= 1)
        return;
    const CrawlState& s = c.state;
    const int window = connections * RecordsPerConnection;
    if (c.predictedThrough >= c.recordTag + window)
        return;
    // The record just taken comes first: one queued by the page before it was not in sight yet.
    QList<WorkRecord> coming { taken };
    coming += c.workLists.peek(s.WorkList, s.WorkLine, window);
    for (qsizetype i = 0; i < coming.size(); ++i) {
        // Each record is planned once, when it first comes into sight.
        const qint64 tag = c.recordTag + i;
        if (tag <= c.predictedThrough)
            continue;
        c.predictedThrough = tag;
        const FirstRequest request = FirstRequestOf(s, coming[i]);
        if (!request.verb.isEmpty() && RobotsAllow(s, coming[i].address))
            c.transfer.predict(coming[i].address, request.verb, request.headerLines, tag);
    }
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
