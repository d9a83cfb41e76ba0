#include "crawl/transport.h"

#include "address/addressfunctions.h"
#include "crawl/httpheaders.h"
#include "crawl/progress.h"
#include "crawl/writefailure.h"
#include "records/logs.h"
#include "records/worklists.h"
#include "storage/localpath.h"
#include "storage/partfile.h"
#include "transfer/retryafter.h"

using namespace Qt::StringLiterals;

namespace {

// How long one pass of a wait sleeps on the network at most, so the window stays responsive.
constexpr int PumpMilliseconds = 10;
// Redirects a request of the crawl's own follows.
constexpr int MostOwnRedirects = 5;
// A request held back at least this long is shown waiting, with its seconds counted down.
constexpr qint64 ShownWaitMs = 1000;

bool statusAllowsBody(int code)
{
    return code == 200 || code == 206;
}

// A body whose file cannot be written is lost: its transfer stops at once, and the part that came
// is not scanned for links.
void abandonBody(CrawlContext& c)
{
    c.response.writeBody = false;
    c.response.errorPage = false;
    c.state.NoLinkScan = true;
    c.pageBytes.clear();
    c.transfer.cancel();
}

void startBody(CrawlContext& c)
{
    CrawlState& s = c.state;
    ResponseProgress& r = c.response;
    r.headersSeen = true;
    // The answer is asked again after the wait: neither its address nor its body count.
    if (r.mayWait && RetryAfterMs(c.transfer.responseHeaders(), c.clock) >= 0)
        return;
    if (r.headersArrived)
        r.headersArrived();
    if (!c.fileStatus) {
        abandonBody(c);
        return;
    }
    const QString headers = ResponseHeaderText(c);
    const int code = StatusCode(StatusLine(headers));
    r.writeBody = statusAllowsBody(code);
    // An error answer's page is still scanned for links, in place of what was kept so far.
    r.errorPage = !r.writeBody;
    if (r.errorPage)
        c.pageBytes.clear();
    if (!r.writeBody || !r.rangedRequest)
        return;
    // A ranged request must continue the file exactly where it ends.
    const qint64 start = code == 200 ? 0 : ContentRangeStart(headers);
    if (start == s.BytesReceived)
        return;
    if (start == 0) {
        if (s.SaveToFile && !NoteFileStatus(c, c.download.truncate())) {
            abandonBody(c);
            return;
        }
        s.BytesReceived = 0;
        c.pageBytes.clear();
        s.PageText.clear();
        return;
    }
    r.rangeMismatch = true;
    r.writeBody = false;
    c.transfer.cancel();
}

void takePiece(CrawlContext& c, QByteArrayView piece)
{
    CrawlState& s = c.state;
    ResponseProgress& r = c.response;
    if (!r.writeBody && !r.errorPage)
        return;
    if (r.writeBody) {
        s.BytesReceived += piece.size();
        if (s.SaveToFile && !NoteFileStatus(c, c.download.write(piece))) {
            abandonBody(c);
            return;
        }
    }
    if (s.NoLinkScan || (s.FetchKind != BodyKind::Text && s.FetchKind != BodyKind::Untyped))
        return;
    if (s.FetchKind == BodyKind::Untyped && piece.contains('\0')) {
        s.NoLinkScan = true;
        s.FetchKind = BodyKind::Binary;
        c.pageBytes.clear();
        return;
    }
    // Beyond the limit nothing more is kept, so memory stays flat whatever the body's size.
    if (c.pageBytes.size() + piece.size() > s.ScanLimit) {
        s.NoLinkScan = true;
        c.pageBytes.clear();
        return;
    }
    c.pageBytes += piece;
}

void readBody(CrawlContext& c)
{
    if (c.response.headOnly)
        return;
    if (!c.response.headersSeen) {
        startBody(c);
        if (c.response.rangeMismatch || !c.fileStatus)
            return;
    }
    for (QByteArrayView piece = c.transfer.nextBodyPiece(); !piece.isEmpty() && c.fileStatus;
         piece = c.transfer.nextBodyPiece())
        takePiece(c, piece);
}

} // namespace

void TakePageText(CrawlContext& c)
{
    CrawlState& s = c.state;
    ResponseProgress& r = c.response;
    if ((!r.writeBody && !r.errorPage) || s.NoLinkScan || c.pageBytes.isEmpty()
        || (s.FetchKind != BodyKind::Text && s.FetchKind != BodyKind::Untyped))
        return;
    if (s.FetchKind == BodyKind::Untyped && !r.errorPage && c.pageBytes.size() != s.ContentLength.toLongLong())
        return;
    bool decoded = false;
    const QString text
        = DecodePageText(c.pageBytes, CharsetOf(HeaderValue(ResponseHeaderText(c), u"content-type:"_s)), &decoded);
    c.pageBytes.clear();
    if (s.FetchKind == BodyKind::Untyped && !decoded) {
        ReportFailure(c, u"テキストファイルかわかりません"_s,
            u"ダウンロードしたファイルはテキストファイルかわかりませんでした、リンクの検索は失敗します。"_s,
            c.transfer.url());
        return;
    }
    s.PageText += text;
}

QString ResponseHeaderText(const CrawlContext& context)
{
    return QString::fromLatin1(context.transfer.responseHeaders());
}

void ClearTransferFlags(CrawlContext& context)
{
    context.state.TransferFailed = false;
    context.state.Disconnected = false;
    // A try is told by its own outcome alone: an earlier try's error is not this one's.
    context.state.LastErrorCode = 0;
    context.state.LastErrorText.clear();
}

bool WaitTransportIdle(CrawlContext& context)
{
    while (true) {
        context.host.yield();
        if (!context.transfer.busy())
            return false;
        if (context.state.TransferFailed || context.state.StopRequested) {
            context.transfer.cancel();
            return true;
        }
        context.transfer.pump(PumpMilliseconds);
    }
}

bool WaitRequestDone(CrawlContext& context, bool untilIdle)
{
    while (true) {
        context.host.yield();
        const bool busy = context.transfer.busy();
        // A request that ended in a transfer error is over but failed: its caller deals with the
        // error now, under the request's own address.
        if (!busy && context.state.TransferFailed)
            return true;
        if (!busy || context.state.Disconnected) {
            if (!busy || !untilIdle)
                return false;
        }
        if (context.state.TransferFailed || context.state.StopRequested) {
            context.transfer.cancel();
            return true;
        }
        if (context.response.eachPass)
            context.response.eachPass();
        context.transfer.pump(PumpMilliseconds);
    }
}

bool RunRequest(CrawlContext& c, const QString& address, const QString& verb, const QString& headerLines,
    bool untilIdle, bool rangedRequest, const std::function<void()>& prepare)
{
    qint64 shown = 0;
    bool asked = false; // the wait is one a server asked for
    // A request held back (an interval, a Crawl-delay, a wait the server asked for) is shown with
    // the seconds it still waits, counted down, then under its own address again.
    const auto countDown = [&] {
        const qint64 wait = c.transfer.sendingWaitMs();
        const bool show = wait > 0 && (asked || shown > 0 || wait >= ShownWaitMs);
        const qint64 seconds = show ? (wait + 999) / 1000 : 0;
        if (seconds == shown)
            return;
        shown = seconds;
        c.host.setCurrentAddress(shown == 0 ? address
                : asked ? u"待機中（サーバーの指示）"_s + QString::number(shown) + u"秒"_s
                        : u"待機中"_s + QString::number(shown) + u"秒"_s);
    };
    for (int resends = 0;; ++resends) {
        ExecuteRequest(c, address, verb, headerLines, rangedRequest);
        if (prepare)
            prepare();
        c.response.mayWait = c.state.FollowRetryAfter && resends < MostRetryAfterResends;
        asked = resends > 0;
        c.response.eachPass = countDown;
        const bool interrupted = WaitRequestDone(c, untilIdle);
        c.response.eachPass = {};
        if (shown > 0)
            c.host.setCurrentAddress(address);
        shown = 0;
        if (interrupted || !c.response.mayWait)
            return interrupted;
        const qint64 wait = RetryAfterMs(c.transfer.responseHeaders(), c.clock);
        if (wait < 0)
            return false;
        c.transfer.holdHost(c.transfer.finalUrl(), wait);
        ClearTransferFlags(c);
    }
}

OwnFetch FetchOwnFile(CrawlContext& c, const QString& address, const std::function<bool(QByteArrayView)>& take)
{
    CrawlState& s = c.state;
    const QString lines = u"User-Agent: \""_s + s.UserAgent + u"\"\r\nHost: "_s + HostOf(address) + u"\r\n"_s;
    // Whether the answer's body is wanted, decided by its first piece.
    std::optional<bool> wanted;
    const auto prepare = [&c, &take, &wanted] {
        wanted.reset();
        c.response.bodyTaken = [&c, &take, &wanted](QByteArrayView piece) {
            // An answer asking to wait is asked again after the wait: its body is nobody's.
            if (!wanted)
                wanted = !c.response.mayWait || RetryAfterMs(c.transfer.responseHeaders(), c.clock) < 0;
            if (!*wanted)
                return;
            if (!take(piece)) {
                wanted = false;
                c.transfer.cancel(); // the rest is not read
            }
        };
    };
    c.transfer.setRedirectLimit(MostOwnRedirects);
    bool failed = false;
    for (int attempt = 1; attempt <= 2 && !s.StopRequested; ++attempt) {
        if (WaitTransportIdle(c) && s.StopRequested)
            break;
        ClearTransferFlags(c);
        failed = RunRequest(c, address, u"GET"_s, lines, false, false, prepare);
        if (!failed || !TransferControl::isConnectionFailure(s.LastErrorCode))
            break;
    }
    c.transfer.setRedirectLimit(TransferControl::MostRedirects);
    c.response.bodyTaken = {};
    OwnFetch fetched;
    fetched.stopped = s.StopRequested;
    fetched.status = failed ? 0 : StatusCode(StatusLine(ResponseHeaderText(c)));
    if (failed && s.LastErrorCode != 0)
        fetched.failure
            = u"エラー："_s + QString::number(s.LastErrorCode) + u' ' + TransferControl::errorReason(s.LastErrorCode);
    // How it went is none of the crawl's own requests' business.
    ClearTransferFlags(c);
    return fetched;
}

void OnTransferStateChanged(CrawlContext& context, int state)
{
    CrawlState& s = context.state;
    switch (state) {
    case TransferControl::Error:
        if (!s.StopRequested) {
            s.TransferFailed = true;
            s.LastErrorCode = context.transfer.lastErrorCode();
            s.LastErrorText = context.transfer.lastErrorText();
        }
        break;
    case TransferControl::Disconnected:
        s.Disconnected = true;
        break;
    case TransferControl::ResponseReceiving:
    case TransferControl::ResponseCompleted:
        if (context.response.bodyTaken) {
            for (QByteArrayView piece = context.transfer.nextBodyPiece(); !piece.isEmpty();
                 piece = context.transfer.nextBodyPiece())
                context.response.bodyTaken(piece);
            break;
        }
        // The GET standing in for a refused HEAD has told what it had to with its headers, whatever
        // is being fetched; its body is never read.
        if (context.response.abandonAfterHeaders) {
            context.transfer.cancel();
            break;
        }
        if (s.FetchKind != BodyKind::None)
            readBody(context);
        break;
    default:
        break;
    }
}

void ExecuteRequest(
    CrawlContext& context, const QString& address, const QString& verb, const QString& headerLines, bool rangedRequest)
{
    context.response = ResponseProgress();
    context.response.headOnly = verb == u"HEAD"_s;
    context.response.rangedRequest = rangedRequest;
    context.transfer.execute(address, verb, {}, headerLines);
}

bool ClassifyResponse(CrawlContext& context, QString& authLine, int attempt, const QStringList& referrers)
{
    QString status = StatusLine(ResponseHeaderText(context));
    // The status is the number, never a search of the line: "500 Internal Error (id 2003)" fails.
    const int code = StatusCode(status);
    if (code == 401 && attempt < 2) {
        authLine = u"Authorization: Basic "_s + context.state.AuthString + u"\r\n"_s;
        return false;
    }
    if (code == 206 && attempt < 2)
        return false;
    bool failed = false;
    if (code != 200) {
        if (status.trimmed().isEmpty() && status.size() <= 3)
            status = u"レスポンス無し"_s;
        ReportWriteFailure(context,
            WriteErrorResponse(context.files, context.state.SiteDir, context.clock, u"Webサーバ レスポンスエラー"_s,
                u"Webサーバがエラーを返しました。"_s + status, context.transfer.url(), ErrorResponseLogName,
                referrers.value(0)));
        IncreaseCounter(context, Counter::ErrorResponse);
        NoteTopFailure(context, context.transfer.url(), u"Webサーバがエラーを返しました。"_s + status);
        failed = true;
    }
    if (code == 404 || code == 403)
        failed = true;
    return failed;
}

void RecordResponseHeaders(
    CrawlContext& context, QString& listPath, const WorkRecord& record, bool overwrite, const QString& headers)
{
    QString contentLength = HeaderValue(headers, u"content-length:"_s);
    if (contentLength.isEmpty())
        contentLength = u"-1"_s;
    if (listPath.isEmpty())
        SwitchWorkList(listPath, context.state.SiteDir, true);
    WorkRecord line;
    line.address = record.address;
    line.depth = record.depth;
    line.referrerChain = record.referrerChain;
    line.contentType = HeaderValue(headers, u"content-type:"_s).toLower();
    line.contentLength = contentLength;
    line.entityTag = HeaderValue(headers, u"etag:"_s);
    line.acceptRanges = HeaderValue(headers, u"accept-ranges:"_s).toLower();
    ReportWriteFailure(context, WriteWorkRecord(context.files, listPath, line, overwrite));
}

void SelectProtocol(CrawlContext& context, const QString& address)
{
    const int protocol = ProtocolOf(address);
    if (protocol > 0)
        context.transfer.setProtocol(protocol);
}
