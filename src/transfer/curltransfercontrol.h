#pragma once
// TransferControl on libcurl: one easy handle, reused for every request, driven by a pipe (one multi
// handle, curlpipe.h) whose connection cache keeps connections to a host alive between requests. A
// control has a pipe of its own, or shares one with other controls whose requests then travel side by
// side over the pipe's one HTTP/2 connection.
//
// Behaviour the crawl can rely on:
// - Only http and https are allowed, spoken as HTTP/1.1; with the http2 setting, https is spoken as HTTP/2
//   where the server offers it (its header block then starts "HTTP/2 200"). The body is never
//   decompressed.
// - The header lines are sent as given and in their order. libcurl adds a Host line only when the
//   caller gave none (it then comes first), never a User-Agent or an Accept line; through a proxy it
//   adds "Proxy-Connection: Keep-Alive" before the caller's lines.
// - Redirects (301, 302, 303, 307, 308 with a Location) are followed by this class, at most 10 in a row
//   (the redirectLimit setting, read as a request starts), on the same connection when the host stays. The next request
//   keeps the caller's lines in their order; a given Host line gets the new host, and Authorization and Cookie lines
//   are dropped when the scheme, host or port changes, as browsers keep credentials with their origin. 303, and 301/302
//   after POST, become GET. The 11th redirect in a row (a loop, a long chain) is not an error: it completes
//   (ResponseCompleted) as the response, with its own header block and body, for the crawl to log. Other 3xx answers
//   are final responses.
// - responseHeaders() is the header block of the final response, informational (1xx) and followed
//   redirect responses dropped, each line ended by CR LF and the terminating empty line kept
//   ("HTTP/1.1 200 OK\r\n...\r\n\r\n"). Chunked trailers are not part of it.
// - States, raised only from inside pump(): ResponseReceiving when the final response's headers are
//   complete and again whenever new body bytes are waiting (at most once per pump), then exactly one of
//   ResponseCompleted or Error with busy() already false. Disconnected is never raised: a connection
//   closed too early ends as Error (CURLE_PARTIAL_FILE, CURLE_GOT_NOTHING, ...), a body delimited by
//   the connection's close completes normally. A cancelled request raises nothing.
// - The state handler may call cancel(), nextBodyPiece() or execute(); states of a request replaced
//   that way are not raised any more.
// - nextBodyPiece() returns all bytes waiting. At most about 4 MiB (setPauseAbove) are held: beyond
//   that the transfer is paused until the crawl has read the bytes. Two buffers take turns, filled
//   and handed out, and keep their memory from request to request, so a long download allocates
//   nothing per piece. While paused with unread bytes, every pump raises ResponseReceiving again.
// - Settings are read as each request (each redirect hop) is sent: a change applies from the next one.
// - requestTimeout() limits connecting and silence: libcurl aborts (CURLE_OPERATION_TIMEDOUT) when
//   fewer than 1 byte/s arrived over that many seconds. Only body bytes count, so the body's first
//   byte must come within the limit. libcurl averages the speed over the last 5 s, so silence after
//   some data is noticed about 6 s late (7 s for a 1 s limit), and it measures in whole seconds, so a
//   1 s limit may end a transfer whose body starts after a few milliseconds. 0 leaves libcurl's defaults (300 s
//   for connecting, no limit on silence).
// - Access types: preconfigured uses the http_proxy / https_proxy / no_proxy environment variables,
//   or the system's own settings (presetProxy, on Windows) when given, which then set the proxy of
//   each scheme and the hosts that go direct; direct ignores them, the named proxy is used for every
//   host.
// - https certificates are always verified, against the system's trust store and the file named by
//   CURL_CA_BUNDLE, else SSL_CERT_FILE, as curl's own tool does.
// - With a pacer (setPacer), every request to a host starts no sooner than the pacer allows: a
//   redirect hop waits its turn, and so does a re-send that libcurl would make at once on a new
//   connection when a kept-alive one turned out closed.
// - pump() returns at once when idle.
// - With a cookie jar (setCookieJar), a request starts with the jar's cookies, and what its answers
//   set stays with it (its redirects carry them) until committed when it has ended (not when it was
//   cancelled): by the control itself when it commits, else by its owner from cookiesNow(). Without
//   a jar no cookie is kept or sent.

#include "transfer/answerbuffer.h"
#include "transfer/cookiejar.h"
#include "transfer/curlpipe.h"
#include "transfer/handlecookies.h"
#include "transfer/hoppacing.h"
#include "transfer/requestpacer.h"
#include "transfer/transfercontrol.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <memory>
#include <optional>

class CurlTransferControl final : public TransferControl, public CurlPipe::Transfer {
public:
    // pipe: shared with other controls; none gives the control a pipe of its own.
    explicit CurlTransferControl(std::shared_ptr<CurlPipe> pipe = {});
    ~CurlTransferControl() override;
    CurlTransferControl(const CurlTransferControl&) = delete;
    CurlTransferControl& operator=(const CurlTransferControl&) = delete;

    void setStateHandler(StateHandler handler) override;
    void execute(
        const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines) override;
    bool busy() const override;
    void cancel() override;
    void pump(int maxWaitMs) override;
    // Requests keep the pacer's interval; nullptr (the default) sends them at once.
    void setPacer(RequestPacer* pacer) { m_pacing.setPacer(pacer); }
    // The bytes libcurl reads at a time, from the next request on (256 KiB unless set).
    void setReceiveBuffer(int bytes);
    // Unread body bytes above which the transfer is paused (4 MiB unless set): an owner that takes
    // every piece as it comes keeps its controls' memory small with a lower mark.
    void setPauseAbove(qsizetype bytes) { m_pauseAbove = bytes; }
    // Whether the last response came over HTTP/2, so its connection can carry several at once.
    bool spokeHttp2() const { return m_answer.headers().startsWith("HTTP/2"); }
    // When the hop in progress was sent, on the pacer's clock; -1 while it waits for the pacer (or
    // without a pacer).
    qint64 hopSentAt() const { return m_pacing.sentAt(); }
    qint64 sendingWaitMs() const override
    {
        return m_busy && m_pacing.held() ? std::max<qint64>(m_pacing.delay(), 0) : 0;
    }
    // Whether anything of the request in progress may have reached the server: false while its
    // first hop waits for the pacer or for its connection.
    bool sentAny() const { return m_busy && (m_redirects > 0 || m_pacing.began()); }
    // The length of the body coming, as the answer's headers tell it; -1 when they do not.
    qint64 expectedLength() const;
    void setCookieJar(CookieJar* jar, bool commits);
    // The cookies of the request in progress or last executed, as its answers left them; none
    // without a jar.
    std::optional<QList<QByteArray>> cookiesNow() const { return m_cookies.now(m_easy.get()); }

    QByteArrayView nextBodyPiece() override;
    QByteArray responseHeaders() const override { return m_answer.headers(); }
    int lastErrorCode() const override { return m_errorCode; }
    QString lastErrorText() const override { return m_errorText; }
    QString finalUrl() const override { return m_hopUrl; }

    Wait prepareWait() override;
    void ended(void* easy, int result) override;
    void raiseStates() override;
    CurlPipe& pipe() const override { return *m_pipe; }

private:
    // The handles are kept as void* so that curl.h stays out of this header.
    struct EasyDeleter {
        void operator()(void* handle) const;
    };
    struct ListDeleter {
        void operator()(void* list) const;
    };

    static std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBodyBytes(char* data, std::size_t size, std::size_t count, void* self);
    static int onSending(void* self, char* remoteIp, char* localIp, int remotePort, int localPort);

    void setUpHandle();
    void headerLine(QByteArrayView line);
    std::size_t bodyBytes(const char* data, std::size_t length);
    void startHop(const QString& address);
    void sendHop();
    bool followRedirect();
    // Sends a hop the pacer let go and resumes a paused transfer whose bytes were read; false when
    // nothing is left to wait for on the network.
    bool prepare();
    void detach();
    void deliver();
    bool raise(int state);
    void setError(int code);

    std::shared_ptr<CurlPipe> m_pipe;
    std::unique_ptr<void, ListDeleter> m_headerList;
    std::unique_ptr<void, EasyDeleter> m_easy;
    std::array<char, 256> m_errorBuffer {};

    StateHandler m_handler;
    bool m_busy = false;
    bool m_attached = false;
    int m_receiveBuffer = 0; // 0: the default
    qsizetype m_pauseAbove = 0; // 0: the default
    bool m_paused = false;
    bool m_discarding = false; // body bytes of an abandoned request are dropped
    bool m_done = false; // libcurl finished; the result is not delivered yet
    int m_doneCode = 0;
    bool m_finalHeaders = false; // the answer's headers are the final response's
    bool m_headersAnnounced = false;
    bool m_newBytes = false;
    bool m_followPending = false; // the response is a redirect that will be followed
    int m_redirects = 0;
    HopPacing m_pacing;
    unsigned m_generation = 0; // changes whenever a request is started or abandoned

    AnswerBuffer m_answer;
    int m_errorCode = 0;
    QString m_errorText;

    QString m_hopUrl; // the address of the request being sent, after redirects
    QByteArray m_hopVerb;
    QByteArray m_hopBody;
    QStringList m_hopLines;
    HandleCookies m_cookies;
};
