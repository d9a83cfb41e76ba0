#pragma once
// The crawl loop: takes the work records in order, stops at the depth limit or on Stop, fetches
// each with GET (whole, or in ranged pieces guarded by the entity tag), repeats a short transfer
// once, logs and checks what was saved, and hands pages to the link scanner.

#include "crawl/crawlcontext.h"
#include "records/workrecord.h"

void FetchWorkItems(CrawlContext& context);

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
// How a body is read, from the content type its link check recorded (lower-cased); a body above
// the scan limit is read as bytes.
BodyKind BodyKindOf(const QString& contentType, bool tooLargeToScan);
// Whether a record is fetched in ranged pieces on its first attempt; contentLength as recorded,
// "-1" when none was given.
bool FetchesInPieces(
    const CrawlState& state, const QString& acceptRanges, const QString& entityTag, const QString& contentLength);
