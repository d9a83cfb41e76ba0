#include "crawl/lookahead.h"

#include "address/addressfunctions.h"
#include "crawl/fetchloop.h"
#include "crawl/linkaddress.h"
#include "crawl/linkresolver.h"
#include "crawl/linkscanner.h"
#include "records/worklists.h"
#include "storage/filefilters.h"
#include "storage/localpath.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace {

// How far ahead the crawl looks, in connections' worth: records of the work list and ranged pieces.
constexpr int RecordsPerConnection = 2;
constexpr int PiecesPerConnection = 1;
// Probes of one page predicted at most; the rest are simply made when their turn comes.
constexpr int MaxProbesPerPage = 256;

// The first request fetchRecord makes for record, or an empty verb when it makes none.
struct PlannedRequest {
    QString verb;
    QString lines;
};

PlannedRequest firstRequestOf(const CrawlState& s, WorkRecord record)
{
    record.directoryAddress = DirectoryAddressOf(record.address);
    record.siteRoot = SiteRootOf(record.address);
    const qint16 depth = qint16(record.depthNumber() + 1);
    if (s.DepthLimit > 0 && s.DepthLimit < depth)
        return {};
    const QString contentLength = record.contentLength.isEmpty() ? u"-1"_s : record.contentLength;
    bool numeric = false;
    qint64 length = contentLength.toLongLong(&numeric);
    if (!numeric)
        length = -1;

    // Whether the file would be saved as things stand now; an earlier record may still change it,
    // and then the prediction is simply not used.
    bool save = false;
    if (PassesSizeAtDownload(length, s.MaxSize, s.MinSize)) {
        QString name = FileNameOf(record.address);
        const QString path = MapLocalPath(s.localTree(), name, record.address, record.siteRoot, length);
        save = !path.isEmpty() && PassesFileFilters(path, name, s.DownloadExtList, s.OnNameList, s.NotNameList);
    }
    if (!save && BodyKindOf(record.contentType, length > s.ScanLimit) == BodyKind::Binary)
        return {};
    if (s.DepthLimit != 0 && depth >= s.DepthLimit && !save)
        return {};

    const FetchHeaderLines around = FetchHeaderLinesOf(s, record);
    if (!FetchesInPieces(s, record.acceptRanges, record.entityTag, contentLength))
        return { u"GET"_s, around.around({}) };
    if (length <= 0)
        return {};
    const qint64 end = qMin(s.BufferSize, length);
    if (end == length)
        return { u"GET"_s, around.around({}) };
    return { u"GET"_s, around.around(RangeLines(record.entityTag, 0, end)) };
}

} // namespace

void PredictPageProbes(
    CrawlContext& c, const QString& pageAddress, const QString& resolvedFrom, const QString& pageText)
{
    if (c.transfer.connections() <= 1)
        return;
    const CrawlState& s = c.state;
    QSet<QString> predicted;
    PageLinks links(pageText, resolvedFrom);
    while (predicted.size() < MaxProbesPerPage && links.advance()) {
        if (!links.isLink())
            continue;
        WorkRecord record = links.record();
        const QString link = ProbeTarget(s, record, links.base());
        if (link.isEmpty() || predicted.contains(link))
            continue;
        predicted.insert(link);
        c.transfer.predict(link, u"HEAD"_s, ProbeHeaderLines(s, link, pageAddress), c.recordTag);
    }
}

void PredictComingFetches(CrawlContext& c)
{
    const int connections = c.transfer.connections();
    if (connections <= 1)
        return;
    const CrawlState& s = c.state;
    const int window = connections * RecordsPerConnection;
    if (c.predictedThrough >= c.recordTag + window)
        return;
    const QList<WorkRecord> coming = c.workLists.peek(s.WorkList, s.WorkLine, window);
    for (qsizetype i = 0; i < coming.size(); ++i) {
        // Each record is planned once, when it first comes into sight.
        const qint64 tag = c.recordTag + 1 + i;
        if (tag <= c.predictedThrough)
            continue;
        c.predictedThrough = tag;
        const PlannedRequest request = firstRequestOf(s, coming[i]);
        if (!request.verb.isEmpty())
            c.transfer.predict(coming[i].address, request.verb, request.lines, tag);
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
        const qint64 end = qMin(start + s.BufferSize, length);
        c.transfer.predict(address, u"GET"_s, around.around(RangeLines(s.ETag, start, end)), c.recordTag);
        start = end + 1;
    }
}
