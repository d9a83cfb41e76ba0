#include "crawl/linkresolver.h"

#include "address/addressfunctions.h"
#include "address/authority.h"
#include "crawl/httpheaders.h"
#include "crawl/linkaddress.h"
#include "crawl/progress.h"
#include "crawl/robots.h"
#include "crawl/transport.h"
#include "crawl/writefailure.h"
#include "records/logs.h"
#include "storage/filefilters.h"

using namespace Qt::StringLiterals;

namespace {

struct ProbeResult {
    bool stopped = false;
    bool failed = false;
};

// One HEAD request, or its GET stand-in; true when a stop or transfer error ended the wait. A
// connection that failed before any answer (refused, reset, closed) is tried once more, so one
// hiccup of the network does not lose the link for the whole crawl.
bool probeOnce(CrawlContext& c, const QString& link, const QString& verb, const QString& headerLines)
{
    for (int attempt = 1;; ++attempt) {
        if (WaitTransportIdle(c))
            return true;
        ClearTransferFlags(c);
        const bool interrupted = RunRequest(c, link, verb, headerLines, true, false,
            [&c, &verb] { c.response.abandonAfterHeaders = verb == u"GET"_s; });
        CrawlState& s = c.state;
        if (!interrupted || s.StopRequested || attempt == 2 || !s.TransferFailed
            || !TransferControl::isConnectionFailure(s.LastErrorCode))
            return interrupted;
        s.LastErrorCode = 0;
        s.LastErrorText.clear();
    }
}

// After a wait that ended early: a stop leaves the address to be queued and fetched later; a probe
// that failed in transfer is reported once, under its own address, and the address is not queued,
// so the same failure is not reported again by its fetch.
ProbeResult interruptedProbe(CrawlContext& c, const QString& link)
{
    CrawlState& s = c.state;
    ProbeResult result;
    if (s.StopRequested || (!s.TransferFailed && s.LastErrorCode == 0)) {
        result.stopped = true;
        return result;
    }
    ReportFailure(c, u"接続エラーが起きました。エラー："_s + QString::number(s.LastErrorCode), s.LastErrorText, link);
    s.LastErrorCode = 0;
    s.LastErrorText.clear();
    result.failed = true;
    return result;
}

ProbeResult probe(CrawlContext& c, const QString& link, const QString& referrer, QString& headers)
{
    QString authLine;
    ProbeResult result;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const QString lines = ProbeHeaderLines(c.state, link, referrer, authLine);
        if (probeOnce(c, link, u"HEAD"_s, lines)) {
            headers.clear();
            return interruptedProbe(c, link);
        }
        headers = ResponseHeaderText(c);
        const int code = StatusCode(StatusLine(headers));
        if (code == 405 || code == 501) {
            // A server that refuses HEAD still tells the size and type in a GET's headers.
            if (probeOnce(c, link, u"GET"_s, lines)) {
                headers.clear();
                return interruptedProbe(c, link);
            }
            headers = ResponseHeaderText(c);
        }
        const QString before = authLine;
        result.failed = ClassifyResponse(c, authLine, attempt, { referrer });
        if (authLine != before && attempt < 2)
            continue;
        break;
    }
    return result;
}

} // namespace

QString ProbeHeaderLines(const CrawlState& state, const QString& link, const QString& referrer, const QString& authLine)
{
    const QString refererLine = !referrer.isEmpty() && referrer != link && RefererMayGo(referrer, link)
        ? u"Referer: "_s + referrer + u"\r\n"_s
        : QString();
    return refererLine + u"User-Agent: \""_s + state.UserAgent + u"\"\r\n"_s + authLine + u"Host: "_s + HostOf(link)
        + u"\r\n"_s;
}

QString ResolvedAddress(const WorkRecord& record, const QString& baseAddress)
{
    const QString base = baseAddress.isEmpty() ? RelativeBase(record.directoryAddress) : baseAddress;
    const QString link = ResolveAgainstBase(DecodeLinkText(record.address), base, record.siteRoot);
    return link.isEmpty() ? link : EncodeForWire(link);
}

QString ProbeTarget(const CrawlState& s, WorkRecord& record, const QString& baseAddress, const QString* resolved)
{
    if (s.DepthLimit > 0 && s.DepthLimit < s.CurDepth + 1)
        return {};
    const QString link = resolved ? *resolved : ResolvedAddress(record, baseAddress);
    if (link.isEmpty())
        return {};
    record.address = link;
    if (!InScope(link, s.SearchType, s.TopRoot, s.TopBase))
        return {};
    if (s.DetectedAddrs.contains(link))
        return {};
    return link;
}

QString ResolveLink(CrawlContext& context, WorkRecord& record, QString& headers, const QString& referrer,
    const QString& baseAddress, const QString* resolved)
{
    CrawlState& s = context.state;
    headers.clear();
    const QString link = ProbeTarget(s, record, baseAddress, resolved);
    if (link.isEmpty())
        return {};

    if (!LearnRobots(context, link))
        return {}; // stopped: the record is taken again
    TellLongCrawlDelay(context, link);
    ProbeResult probed;
    // A link robots.txt refuses is reported once, as it is detected, and never asked for.
    if (RobotsRefuse(context, link))
        probed.failed = true;
    else
        probed = probe(context, link, referrer, headers);
    if (!probed.stopped && !probed.failed) {
        QString size = HeaderValue(headers, u"content-length:"_s);
        if (size.isEmpty())
            size = u"-1"_s;
        const qint64 length = size.toLongLong();
        if (PassesSizeAtDetection(length, s.MaxSize, s.MinSize)) {
            // A folder linked without its final "/" and answered from the folder form is saved as
            // the folder's page, and planned as that.
            const QString saved = context.transfer.finalUrl() == link + u'/' ? link + u'/' : link;
            QString name = FileNameOf(saved);
            const QString path = MapLocalPath(s.localTree(), name, saved, record.siteRoot, length);
            if (!path.isEmpty() && PassesFileFilters(path, name, s.DownloadExtList, s.OnNameList, s.NotNameList))
                IncreaseCounter(context, Counter::Planned);
        }
    }

    s.DetectedAddrs.append(link);
    ReportWriteFailure(context, WriteDetectedAddress(context.files, s.SiteDir, link));
    IncreaseCounter(context, Counter::Detect);
    context.host.setCounter(Counter::Planned, s.Counters[Counter::Planned]);
    context.host.stepProgress();
    return probed.failed ? QString() : link;
}
