#pragma once
// The rules that decide what the fetch loop sends for a record, in one place for the loop and for
// the look-ahead that sends the same requests early: where the file lands and whether it is saved,
// whether the record is fetched at all, whole or in ranged pieces, and the header lines of each
// request. A prediction built from these is byte for byte the request the loop then executes.
//   const FirstRequest first = FirstRequestOf(state, record); // e.g. GET with "Range: bytes=0-1048576"

#include "crawl/crawlstate.h"
#include "crawl/pagelinks.h"
#include "records/workrecord.h"

#include <QString>

// The lines around every GET of a record, as the loop sends them: Referer (from the referrer chain
// in field 6), User-Agent, then the request's own lines, then Host.
struct FetchHeaderLines {
    QString referrer;
    QString refererLine;
    QString agentLine;
    QString hostLine;
    QString around(const QString& middle) const { return refererLine + agentLine + middle + hostLine; }
};
FetchHeaderLines FetchHeaderLinesOf(const CrawlState& state, const WorkRecord& record);
// The lines of one ranged piece, start to end inclusive, guarded by the entity tag.
QString RangeLines(const QString& entityTag, qint64 start, qint64 end);
// Where the ranged piece that starts at start ends (inclusive), for a body of length bytes.
qint64 PieceEnd(const CrawlState& state, qint64 start, qint64 length);
// How a body is read, from the content type its link check recorded (lower-cased); a body above
// the scan limit is read as bytes, a style sheet as text whatever its type.
BodyKind BodyKindOf(const QString& contentType, bool tooLargeToScan, bool styleSheet);
// Whether a record is a style sheet, scanned for its url() and @import links: with more links looked
// for, a body typed text/css or named .css (a server may call it anything).
bool IsStyleSheet(const CrawlState& state, const WorkRecord& record);
// Whether an address names a style sheet by its name (".css", the query aside).
bool NamesStyleSheet(const QString& address);
// Sheets imported by sheets nest at most this deep below a page's own sheet, as browsers stop deep
// and endless chains: a sheet's links stand at its own depth, so the depth limit cannot.
inline constexpr int MostSheetNesting = 4;
// Whether link, found by syntax in the record whose referrer chain is chain (itself last), is a
// sheet imported deeper than that; it is left out.
bool ImportsTooDeep(LinkSyntax syntax, const QString& chain, const QString& link);
// How the record's body is scanned for links.
LinkSyntax LinkSyntaxOf(const CrawlState& state, const WorkRecord& record);
// The depth of the record's links: one below the record's own, but a style sheet is part of the
// page that links it, so its links count at the sheet's depth.
qint16 LinkDepthOf(const CrawlState& state, const WorkRecord& record);
// Whether a record is fetched in ranged pieces on its first attempt; contentLength as recorded,
// "-1" when none was given.
bool FetchesInPieces(
    const CrawlState& state, const QString& acceptRanges, const QString& entityTag, const QString& contentLength);
// The length the link check recorded, -1 when none or not a number.
qint64 RecordedLength(const WorkRecord& record);

// Where a record's file lands, its cleaned name as the download log shows it, and whether it is
// saved, given its length; nothing is saved when the size filter refuses it.
struct SaveTarget {
    bool sizeFits = false; // the name and path are only made when it does
    QString path;
    QString name;
    bool save = false;
};
SaveTarget SaveTargetOf(const CrawlState& state, const WorkRecord& record, qint64 length);
// Whether the body is fetched at all: a file not saved (a page or a style sheet) is fetched only to
// be scanned, and only within the depth limit; depth is the one the record's links would get.
bool FetchesBody(const CrawlState& state, bool save, BodyKind kind, qint16 depth);

// The first request the fetch loop sends for a record taken now, or an empty verb when it sends
// none. An earlier record may still change what the loop decides (a file of the same name saved
// meanwhile); then the request is simply another one.
struct FirstRequest {
    QString verb;
    QString headerLines;
    bool scannedWhole = false; // a page (or sheet) whose whole body this request brings to be scanned
    bool scanned = false; // a page (or sheet) scanned for links, whole or in pieces
};
FirstRequest FirstRequestOf(const CrawlState& state, WorkRecord record);
