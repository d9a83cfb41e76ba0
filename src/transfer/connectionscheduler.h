#pragma once
// Which request runs on which connection, for the look-ahead transfer control. It holds the
// requests the crawl said are coming and the one it executes, starts them nearest first (the
// executed one, then the lowest tag, then the earliest predicted) as connections, the interval and
// each origin's limit allow, and keeps what they bring until the control hands it out.
//   ConnectionScheduler scheduler;
//   scheduler.configure(6, 0);
//   scheduler.add(u"http://h/b.gif"_s, u"HEAD"_s, lines, 7);  // starts at the next advance
//   scheduler.startWhatMay(); scheduler.pumpConnections(10); scheduler.startWhatMay();
//
// Each connection is a libcurl control keeping at most one connection open, so with N of them no
// host ever has more than N from us. Servers that take fewer than we offer must not change what
// the crawl sees:
// - A prediction whose connection is refused, reset or closed before an answer, or that is answered
//   503 while other connections of ours are open to that origin, is never served: the origin gets
//   one connection fewer from then on and the request is sent again when a connection is free. The
//   executed request is treated alike (up to four times, waiting longer each time) while other
//   connections are, or were just, open to its origin; alone, its failure is the answer.
// - A request fetched ahead runs with the cookies the jar holds as it starts; what its answers set is
//   kept with it for the look-ahead control to judge and commit.
// - A request that waits far longer than the origin usually takes to answer, while requests started
//   after it are answered, is held up behind our own connections: idle ones to that origin are
//   closed, and when the executed request is the one waiting, the origin is limited to the
//   connections it answers on and the request is sent again on one of them.

#include "transfer/curltransfercontrol.h"
#include "transfer/requestpacer.h"
#include "transfer/scheduledrequest.h"

#include <QHash>
#include <cstdint>
#include <memory>
#include <vector>

class ConnectionScheduler {
public:
    // The code and text of a request whose spooled body could not be written or read back.
    static constexpr int SpoolErrorCode = 23; // libcurl's CURLE_WRITE_ERROR
    static QString spoolErrorText();

    ConnectionScheduler();
    ~ConnectionScheduler();
    ConnectionScheduler(const ConnectionScheduler&) = delete;
    ConnectionScheduler& operator=(const ConnectionScheduler&) = delete;

    // Connections at once (1 to TransferControl::MostConnections) and the least time between two
    // requests to one host; forgets every request.
    void configure(int connections, int intervalMs);
    int connections() const { return int(m_connections.size()); }
    int interval() const { return m_pacer.interval(); }
    // The first connection's control, which one connection without an interval uses directly, and
    // the state handler it then raises its states through.
    CurlTransferControl& firstControl() { return *m_connections.front().control; }
    const CurlTransferControl& firstControl() const { return *m_connections.front().control; }
    void setDirectHandler(const TransferControl::StateHandler& handler);
    void setAccessType(int accessType)
    {
        m_accessType = accessType;
        for (Connection& connection : m_connections)
            connection.control->setAccessType(accessType);
    }
    void setProxy(const QString& proxy)
    {
        m_proxy = proxy;
        for (Connection& connection : m_connections)
            connection.control->setProxy(proxy);
    }
    void setRequestTimeout(int seconds)
    {
        m_requestTimeout = seconds;
        for (Connection& connection : m_connections)
            connection.control->setRequestTimeout(seconds);
    }
    void setHostInterval(const QString& host, int milliseconds) { m_pacer.setHostInterval(host, milliseconds); }
    // No request to host starts for milliseconds.
    void holdHost(const QString& host, qint64 milliseconds) { m_pacer.hold(host, milliseconds); }
    void forgetHosts() { m_pacer.forgetHosts(); }

    ScheduledRequest* find(const QString& address, const QString& verb, const QString& headerLines) const;
    ScheduledRequest& add(
        const QString& address, const QString& verb, const QString& headerLines, qint64 tag, bool predicted);
    // Stops the request when it runs and forgets it.
    void remove(ScheduledRequest& request);
    // Forgets the predictions not executed: those of tag, or all.
    void removePredicted(qint64 tag);
    void removeAllPredicted();
    // The crawl's cookies, carried and kept by every connection; nullptr for none at all.
    void setCookieJar(CookieJar* jar)
    {
        m_jar = jar;
        for (Connection& connection : m_connections)
            connection.control->setCookieJar(jar, direct());
    }
    // Forgets the predictions not executed that pick picks.
    template <typename Pick> void removePredictedIf(Pick pick)
    {
        std::vector<ScheduledRequest*> dropped;
        for (const auto& request : m_requests)
            if (!request->executed && pick(*request))
                dropped.push_back(request.get());
        for (ScheduledRequest* request : dropped)
            remove(*request);
    }
    int predictedWaiting() const;

    // Starts every request that may start now.
    void startWhatMay();
    // Advances the running requests, sleeping at most waitMs on their sockets (or until a held
    // request may start, when none runs).
    void pumpConnections(int waitMs);
    // The earliest moment a request held back by a wait may start; -1 when none is.
    qint64 blockedUntil() const { return m_blockedUntil; }
    qint64 now() const { return m_pacer.now(); }

private:
    // One connection: the control that runs requests on it and what it keeps open.
    struct Connection {
        std::unique_ptr<CurlTransferControl> control;
        ScheduledRequest* running = nullptr;
        QString origin; // of the connection it keeps open; empty when it keeps none
        bool answered = false; // that connection has carried an answer
    };
    // What we learnt of one origin during the crawl.
    struct OriginState {
        int limit = 0; // connections it takes at once
        qint64 fastestMs = -1; // the quickest answer it gave, from start to headers
        qint64 lastAnsweredStart = -1; // when the latest request it answered had started
        qint64 abandonedAt = -1; // when we last dropped a connection to it in mid-request
    };

    bool direct() const { return m_connections.size() == 1 && m_pacer.interval() <= 0; }
    void onConnectionState(std::size_t index, int state);
    // Moves a connection's body bytes into the request; false when it was given up.
    bool drain(std::size_t index, ScheduledRequest& request);
    // A refusal that several connections may have caused: true when the request was taken back
    // (sent again later, or forgotten) instead of being answered.
    bool takeBackRefused(std::size_t index, ScheduledRequest& request, bool connectionLost);
    void checkStalls();
    int connectionFor(ScheduledRequest& request);
    int preemptFor(const ScheduledRequest& request);
    void start(ScheduledRequest& request, int index);
    // abandoned: the connection is dropped by us in mid-request, which the server may still count.
    void stopRunning(ScheduledRequest& request, bool abandoned = true);
    void restartLater(ScheduledRequest& request, qint64 notBefore);
    void close(Connection& connection);
    void enforceLimit(const QString& origin);
    int openTo(const QString& origin, std::size_t except = SIZE_MAX) const;
    int answeringTo(const QString& origin, std::size_t except) const;
    OriginState& stateOf(const QString& origin);
    void forget(const ScheduledRequest* request);

    std::vector<Connection> m_connections;
    std::vector<std::unique_ptr<ScheduledRequest>> m_requests;
    QHash<QString, OriginState> m_origins;
    RequestPacer m_pacer;
    CookieJar* m_jar = nullptr;
    TransferControl::StateHandler m_directHandler;
    quint64 m_order = 0;
    qint64 m_blockedUntil = -1;
    int m_accessType = TransferControl::AccessPreconfigured;
    QString m_proxy;
    int m_requestTimeout = 0;
};
