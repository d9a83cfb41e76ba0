#pragma once
// Deciding whether the crawl follows one link: decode it, make it absolute, keep it in scope and
// out of the detected set, then probe it once with HEAD (a GET abandoned after its headers when
// the server refuses HEAD), record it as detected, and count it as planned when its file would
// be saved.

#include "crawl/crawlcontext.h"
#include "records/workrecord.h"

#include <QStringList>

// record: a link record (field 0 the raw value, 3 the page's directory address, 4 the page's root).
// headers: out, the probe's raw header block; resolved: what ResolvedAddress gave for the record,
// when known. Returns the address to queue, or "".
QString ResolveLink(CrawlContext& context, WorkRecord& record, QString& headers, const QString& referrer,
    const QString& baseAddress, const QString* resolved = nullptr);

// The address ResolveLink would probe for a link record, with record field 0 set to it, or "" when
// it would not probe it (not followed, out of scope, already detected). Changes nothing else.
QString ProbeTarget(
    const CrawlState& state, WorkRecord& record, const QString& baseAddress, const QString* resolved = nullptr);
// The absolute address a link record stands for against baseAddress, as it is sent; "" when it
// stands for none. The same whatever the crawl has done, so it may be worked out once for a link.
QString ResolvedAddress(const WorkRecord& record, const QString& baseAddress);
// The header lines of a probe of link found on the page referrer, in the order they are sent.
QString ProbeHeaderLines(
    const CrawlState& state, const QString& link, const QString& referrer, const QString& authLine = {});
