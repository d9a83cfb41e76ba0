#pragma once
// The crawl's transfer control. With one connection (and no interval) it is the plain libcurl
// control, call for call. With more, it runs the requests the crawl says are coming (predictions)
// on further connections before the crawl executes them, and serves an executed request from an
// identical prediction (address, verb and header lines) with the same states, header block, body
// and error, so the crawl still decides and applies everything one request after the other while
// the network works ahead, on a thread of its own (networkthread.h states its contract). A request
// without a prediction runs on the first connection free, before every prediction; one that is not
// sent yet, or held up long, gives its connection up to it. The states of the executed request are still
// raised only from pump(), on the crawl's thread.
//   control.setConnections(6);
//   control.predict(u"http://h/b.gif"_s, u"HEAD"_s, lines, 7); // starts soon if a connection is free
//   control.execute(u"http://h/b.gif"_s, u"HEAD"_s, {}, lines);  // served from the prediction
//   control.dropPredictions(7);                                  // tag 7's unused ones are cancelled
// Which request runs where, and what happens when a server takes fewer connections than offered,
// is the connection scheduler's. A prediction's body waits in memory up to its own 256 KiB and what
// the 6 MB shared by all of them has room for, and beyond that in a temporary file, so memory stays
// flat however much is ahead.

#include "transfer/connectionscheduler.h"
#include "transfer/cookiejar.h"
#include "transfer/curlconnectionpool.h"
#include "transfer/curltransfercontrol.h"
#include "transfer/networkthread.h"
#include "transfer/requestpacer.h"
#include "transfer/transfercontrol.h"

class LookAheadTransferControl final : public TransferControl {
public:
    LookAheadTransferControl();
    ~LookAheadTransferControl() override;
    LookAheadTransferControl(const LookAheadTransferControl&) = delete;
    LookAheadTransferControl& operator=(const LookAheadTransferControl&) = delete;

    void setStateHandler(StateHandler handler) override;
    void execute(
        const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines) override;
    bool busy() const override;
    void cancel() override;
    void pump(int maxWaitMs) override;

    QByteArrayView nextBodyPiece() override;
    QByteArray responseHeaders() const override;
    int lastErrorCode() const override;
    QString lastErrorText() const override;
    QString finalUrl() const override;

    // Unlocked: asked for every page, record and link queued, and changed only while the network
    // thread is stopped (reconfigure), or once, when a connection first speaks HTTP/2.
    int connections() const override { return m_scheduler.connections(); }
    int requestsAtOnce() const override { return m_scheduler.requestsAtOnce(); }
    void setConnections(int connections) override;
    void setRequestInterval(int milliseconds) override;
    void setHostInterval(const QString& address, int milliseconds) override;
    void holdHost(const QString& address, qint64 milliseconds) override;
    qint64 sendingWaitMs() const override;
    void forgetHosts() override { m_pacer.forgetHosts(); }
    void setCookies(const QByteArray& text, bool keep) override;
    QByteArray cookies() const override { return m_jar.text(); }
    quint64 cookiesVersion() const override { return m_jar.version(); }
    void predict(const QString& address, const QString& verb, const QString& headerLines, qint64 tag) override;
    bool answerFetchedAhead(const QString& address, const QString& verb, const QString& headerLines,
        QByteArray& headers, QString& finalUrl, QByteArray& body) const override;
    void dropPredictions(qint64 tag) override;
    void dropAllPredictions() override;

    // Predictions waiting, running or done and not executed yet; for tests.
    int pendingPredictions() const;
    // Requests executed with several connections, and how many of them a prediction served.
    int executedRequests() const { return m_executed; }
    int servedFromPredictions() const { return m_served; }

protected:
    void settingsChanged(const Settings& before) override;

private:
    bool direct() const { return m_scheduler.connections() == 1 && m_pacer.interval() <= 0; }
    void reconfigure(int connections, int interval);
    void deliver();
    bool raise(int state);
    bool hasNews() const;

    // The jar and the pacer outlive the connections, which point to them.
    CookieJar m_jar;
    bool m_cookies = false; // requests carry and keep cookies
    RequestPacer m_pacer;
    CurlTransferControl m_direct; // one connection without an interval
    CurlConnectionPool m_pool { m_pacer };
    ConnectionScheduler m_scheduler { m_pool, m_pacer };
    NetworkThread m_thread { m_scheduler, [this] { return hasNews(); } };

    // The executed request and its answer as the crawl was told it; under the network thread's lock.
    ScheduledRequest* m_current = nullptr;
    StateHandler m_handler;
    bool m_busy = false;
    int m_executed = 0;
    int m_served = 0;
    unsigned m_generation = 0;
    QByteArray m_headers;
    QByteArray m_handedOut; // the last piece taken from the request, valid until the next call
    int m_errorCode = 0;
    QString m_errorText;
    QString m_finalUrl;
};
