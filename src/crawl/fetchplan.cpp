#include "crawl/fetchplan.h"

#include "address/addressfunctions.h"
#include "address/authority.h"
#include "crawl/httpheaders.h"
#include "storage/filefilters.h"
#include "storage/localpath.h"

using namespace Qt::StringLiterals;

FetchHeaderLines FetchHeaderLinesOf(const CrawlState& state, const WorkRecord& record)
{
    FetchHeaderLines lines;
    const QString& address = record.address;
    const QStringList referrers = record.referrerChain.split(u'\t');
    if (referrers.size() >= 2 && referrers[referrers.size() - 2] != address)
        lines.referrer = referrers[referrers.size() - 2];
    if (!lines.referrer.isEmpty() && RefererMayGo(lines.referrer, address))
        lines.refererLine = u"Referer: "_s + lines.referrer + u"\r\n"_s;
    lines.agentLine = u"User-Agent: \""_s + state.UserAgent + u"\"\r\n"_s;
    lines.hostLine = u"Host: "_s + HostOf(address) + u"\r\n"_s;
    return lines;
}

QString RangeLines(const QString& entityTag, qint64 start, qint64 end)
{
    return u"If-Match: "_s + entityTag + u"\r\nRange: bytes="_s + QString::number(start) + u'-' + QString::number(end)
        + u"\r\n"_s;
}

qint64 PieceEnd(const CrawlState& state, qint64 start, qint64 length)
{
    return qMin(start + state.BufferSize, length);
}

BodyKind BodyKindOf(const QString& contentType, bool tooLargeToScan, bool styleSheet)
{
    if (tooLargeToScan)
        return BodyKind::Binary;
    if (styleSheet)
        return BodyKind::Text;
    if (contentType.isEmpty())
        return BodyKind::Untyped;
    return contentType.contains(u"text"_s) ? BodyKind::Text : BodyKind::Binary;
}

bool IsStyleSheet(const CrawlState& state, const WorkRecord& record)
{
    return state.MoreLinks && (record.contentType.startsWith(u"text/css"_s) || NamesStyleSheet(record.address));
}

bool NamesStyleSheet(const QString& address)
{
    return FileNameOf(address.section(u'?', 0, 0)).endsWith(u".css"_s, Qt::CaseInsensitive);
}

bool ImportsTooDeep(LinkSyntax syntax, const QString& chain, const QString& link)
{
    if (syntax != LinkSyntax::StyleSheet || !NamesStyleSheet(link))
        return false;
    const QStringList addresses = chain.split(u'\t');
    int sheets = 0;
    for (auto it = addresses.crbegin(); it != addresses.crend() && NamesStyleSheet(*it); ++it)
        ++sheets;
    // The page's own sheet is the first of them; what it imports is one deeper each time.
    return sheets > MostSheetNesting;
}

LinkSyntax LinkSyntaxOf(const CrawlState& state, const WorkRecord& record)
{
    if (!state.MoreLinks)
        return LinkSyntax::Classic;
    return IsStyleSheet(state, record) ? LinkSyntax::StyleSheet : LinkSyntax::Html;
}

qint16 LinkDepthOf(const CrawlState& state, const WorkRecord& record)
{
    return qint16(record.depthNumber() + (IsStyleSheet(state, record) ? 0 : 1));
}

bool FetchesInPieces(
    const CrawlState& state, const QString& acceptRanges, const QString& entityTag, const QString& contentLength)
{
    return acceptRanges == u"bytes"_s && IsStrongEntityTag(entityTag) && contentLength != u"-1"_s
        && state.BufferSize > 0;
}

qint64 RecordedLength(const WorkRecord& record)
{
    bool numeric = false;
    const qint64 length = (record.contentLength.isEmpty() ? u"-1"_s : record.contentLength).toLongLong(&numeric);
    return numeric ? length : -1;
}

SaveTarget SaveTargetOf(const CrawlState& s, const WorkRecord& record, qint64 length)
{
    SaveTarget target;
    target.sizeFits = PassesSizeAtDownload(length, s.MaxSize, s.MinSize);
    if (!target.sizeFits)
        return target;
    target.name = FileNameOf(record.address);
    target.path = MapLocalPath(s.localTree(), target.name, record.address, record.siteRoot, length);
    if (!target.path.isEmpty())
        target.save = PassesFileFilters(target.path, target.name, s.DownloadExtList, s.OnNameList, s.NotNameList);
    return target;
}

bool FetchesBody(const CrawlState& state, bool save, BodyKind kind, qint16 depth)
{
    if (!save && kind == BodyKind::Binary)
        return false;
    return save || state.DepthLimit == 0 || depth < state.DepthLimit;
}

FirstRequest FirstRequestOf(const CrawlState& s, WorkRecord record)
{
    record.directoryAddress = DirectoryAddressOf(record.address);
    record.siteRoot = SiteRootOf(record.address);
    if (s.DepthLimit > 0 && s.DepthLimit < record.depthNumber() + 1)
        return {};
    const QString contentLength = record.contentLength.isEmpty() ? u"-1"_s : record.contentLength;
    const qint64 length = RecordedLength(record);
    const bool save = SaveTargetOf(s, record, length).save;
    const BodyKind kind = BodyKindOf(record.contentType, length > s.ScanLimit, IsStyleSheet(s, record));
    const qint16 depth = LinkDepthOf(s, record);
    if (!FetchesBody(s, save, kind, depth))
        return {};

    const FetchHeaderLines around = FetchHeaderLinesOf(s, record);
    const bool scanned
        = (kind == BodyKind::Text || kind == BodyKind::Untyped) && (s.DepthLimit == 0 || depth < s.DepthLimit);
    if (!FetchesInPieces(s, record.acceptRanges, record.entityTag, contentLength))
        return { u"GET"_s, around.around({}), scanned, scanned };
    if (length <= 0)
        return {};
    const qint64 end = PieceEnd(s, 0, length);
    if (end == length)
        return { u"GET"_s, around.around({}), scanned, scanned };
    return { u"GET"_s, around.around(RangeLines(record.entityTag, 0, end)), false, scanned };
}
