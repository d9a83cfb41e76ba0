#pragma once
// The crawl's transfer control. With one connection (and no interval) it is the plain libcurl
// control, call for call. With more, it runs the requests the crawl says are coming (predictions)
// on further connections before the crawl executes them, and serves an executed request from an
// identical prediction (address, verb and header lines) with the same states, header block, body
// and error, so the crawl still decides and applies everything one request after the other while
// the network works ahead, on a thread of its own. A request without a prediction runs at once on a
// free connection, the most speculative prediction giving its connection up when none is free. The
// states of the executed request are still raised only from pump(), on the crawl's thread.
//   control.setConnections(6);
//   control.predict(u"http://h/b.gif"_s, u"HEAD"_s, lines, 7); // starts soon if a connection is free
//   control.execute(u"http://h/b.gif"_s, u"HEAD"_s, {}, lines);  // served from the prediction
//   control.dropPredictions(7);                                  // tag 7's unused ones are cancelled
// Which request runs where, and what happens when a server takes fewer connections than offered,
// is the connection scheduler's. A prediction's body beyond a small buffer waits in a temporary
// file, so memory stays flat however much is ahead.

#include "platform/wakeup.h"
#include "transfer/connectionscheduler.h"
#include "transfer/transfercontrol.h"

#include <condition_variable>
#include <mutex>
#include <thread>

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

    QString url() const override;
    QString finalUrl() const override;
    void setUrl(const QString& address) override;
    int protocol() const override;
    void setProtocol(int protocol) override;
    int accessType() const override;
    void setAccessType(int accessType) override;
    QString proxy() const override;
    void setProxy(const QString& proxy) override;
    int requestTimeout() const override;
    void setRequestTimeout(int seconds) override;
    int remotePort() const override;
    void setRemotePort(int port) override;
    void setRedirectLimit(int most) override;

    int connections() const override;
    int requestsAtOnce() const override
    {
        const auto guard = lock();
        return m_scheduler.requestsAtOnce();
    }
    void setHttp2(bool on) override;
    void setConnections(int connections) override;
    void setRequestInterval(int milliseconds) override;
    void setHostInterval(const QString& address, int milliseconds) override;
    void holdHost(const QString& address, qint64 milliseconds) override;
    void forgetHosts() override;
    void setCookies(const QByteArray& text, bool keep) override;
    QByteArray cookies() const override { return m_jar.text(); }
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

private:
    bool direct() const { return m_scheduler.connections() == 1 && m_scheduler.interval() <= 0; }
    void reconfigure(int connections, int interval);
    void deliver();
    bool raise(int state);
    bool hasNews() const;
    std::unique_lock<std::recursive_mutex> lock() const;
    void startWorker();
    void stopWorker();
    // Settings the network thread reads as it sends a request change while it is stopped.
    template <typename Change> void whileStopped(Change change);
    // Tells the network thread that there is new work, or less.
    void wake();
    void work();

    // The jar outlives the scheduler, whose connections point to it.
    CookieJar m_jar;
    bool m_cookies = false; // requests carry and keep cookies
    ConnectionScheduler m_scheduler;
    ScheduledRequest* m_current = nullptr; // the executed request
    StateHandler m_handler;

    bool m_busy = false;
    int m_executed = 0;
    int m_served = 0;
    unsigned m_generation = 0;
    QByteArray m_headers;
    QByteArray m_handedOut; // the last piece taken from the request, valid until the next call
    int m_errorCode = 0;
    QString m_errorText;
    QString m_url;
    QString m_finalUrl;
    int m_protocol = ProtocolDefault;
    int m_accessType = AccessPreconfigured;
    QString m_proxy;
    int m_requestTimeout = 0;
    int m_remotePort = 0;
    int m_redirectLimit = MostRedirects;

    // With several connections a thread of its own runs the network: it starts requests and
    // advances them whenever their sockets are ready, also while the crawl writes files and scans
    // pages. Everything above is shared with it under m_lock, which it lets go while it sleeps on
    // the sockets and the crawl lets go while its state handler runs.
    mutable std::recursive_mutex m_lock;
    std::condition_variable_any m_news; // the executed request has something to tell
    std::condition_variable_any m_work; // the network thread has something to start
    std::thread m_worker;
    Wakeup m_wakeup;
    bool m_stopping = false;
    bool m_workerWaiting = false; // it sleeps on the sockets
    bool m_workerIdle = false; // it waits for work, nothing running
    bool m_predictedSince = false; // predictions came after it last started requests
    bool m_signalled = false;
};
