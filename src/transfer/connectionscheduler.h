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
// Each connection is a libcurl pipe keeping at most one connection open, so with N of them no host
// ever has more than N from us. Once a connection has answered over HTTP/2 it carries up to
// StreamsPerConnection requests at once, each on a control (a slot) of its own. Servers that take
// fewer than we offer must not change what the crawl sees:
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
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class ConnectionScheduler {
public:
    // The code and text of a request whose spooled body could not be written or read back.
    static constexpr int SpoolErrorCode = 23; // libcurl's CURLE_WRITE_ERROR
    static QString spoolErrorText();
    // Requests one HTTP/2 connection carries at once, and all of them together carry, as each keeps
    // a little of its body in memory.
    static constexpr int StreamsPerConnection = 16;
    static constexpr int MostStreams = 96;

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
    CurlTransferControl& firstControl() { return *m_connections.front().streams.front().control; }
    const CurlTransferControl& firstControl() const { return *m_connections.front().streams.front().control; }
    void setDirectHandler(const TransferControl::StateHandler& handler);
    void setAccessType(int accessType)
    {
        m_accessType = accessType;
        forEachControl([accessType](CurlTransferControl& control) { control.setAccessType(accessType); });
    }
    void setProxy(const QString& proxy)
    {
        m_proxy = proxy;
        forEachControl([&proxy](CurlTransferControl& control) { control.setProxy(proxy); });
    }
    void setRequestTimeout(int seconds)
    {
        m_requestTimeout = seconds;
        forEachControl([seconds](CurlTransferControl& control) { control.setRequestTimeout(seconds); });
    }
    void setHttp2(bool on)
    {
        m_http2 = on;
        forEachControl([on](CurlTransferControl& control) { control.setHttp2(on); });
    }
    // The most requests that run at once now: more than connections once one speaks HTTP/2.
    int requestsAtOnce() const
    {
        return m_multiplexing ? std::min(connections() * StreamsPerConnection, MostStreams) : connections();
    }
    void setHostInterval(const QString& host, int milliseconds) { m_pacer.setHostInterval(host, milliseconds); }
    // No request to host starts for milliseconds.
    void holdHost(const QString& host, qint64 milliseconds) { m_pacer.hold(host, milliseconds); }
    void forgetHosts() { m_pacer.forgetHosts(); }

    ScheduledRequest* find(const QString& address, const QString& verb, const QString& headerLines) const;
    ScheduledRequest& add(
        const QString& address, const QString& verb, const QString& headerLines, qint64 tag, bool predicted);
    // Stops the request when it runs and forgets it. With stops deferred, a request that runs is
    // only marked, and stopped by settleDrops() on the thread that serves the network.
    void remove(ScheduledRequest& request);
    void setDeferStops(bool defer) { m_deferStops = defer; }
    void settleDrops();
    // Forgets the predictions not executed: those of tag (true when there were any), or all.
    bool removePredicted(qint64 tag);
    void removeAllPredicted();
    // The crawl's cookies, carried and kept by every connection; nullptr for none at all.
    void setCookieJar(CookieJar* jar)
    {
        m_jar = jar;
        forEachControl([this](CurlTransferControl& control) { control.setCookieJar(m_jar, direct()); });
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
    // request may start, when none runs); wakeDescriptor as for CurlTransferControl::pumpTogether.
    // With hold, the caller's lock over the scheduler is let go (hold(false)) while the network is
    // served and taken again (hold(true)) for the states it brings and at the end.
    void pumpConnections(int waitMs, int wakeDescriptor = -1, const std::function<void(bool)>& hold = {});
    // Whether a request is on the network.
    bool running() const;
    // The earliest moment a request held back by a wait may start; -1 when none is.
    qint64 blockedUntil() const { return m_blockedUntil; }
    qint64 now() const { return m_pacer.now(); }

private:
    // A control that runs one request at a time over its connection's pipe.
    struct Slot {
        std::unique_ptr<CurlTransferControl> control;
        ScheduledRequest* running = nullptr;
    };
    // One connection: the pipe that keeps it open and the streams that run requests over it, the first
    // alone unless it speaks HTTP/2.
    struct Connection {
        std::shared_ptr<CurlPipe> pipe;
        std::vector<Slot> streams;
        QString origin; // of the connection it keeps open; empty when it keeps none
        bool answered = false; // that connection has carried an answer
        bool multiplexed = false; // it answered over HTTP/2
        bool idle() const
        {
            return std::none_of(streams.cbegin(), streams.cend(), [](const Slot& slot) { return slot.running; });
        }
        // A slot free for a request to the connection's own origin, the first one alone unless
        // another stream may be added; -1 when none is.
        int freeSlot(bool anotherStream) const;
    };
    template <typename Apply> void forEachControl(Apply apply)
    {
        for (Connection& connection : m_connections)
            for (Slot& slot : connection.streams)
                apply(*slot.control);
    }
    // A connection's slot, made with the connection's settings when it is new.
    Slot& slotOf(std::size_t index, std::size_t slot);
    // What we learnt of one origin during the crawl.
    struct OriginState {
        int limit = 0; // connections it takes at once
        qint64 fastestMs = -1; // the quickest answer it gave, from start to headers
        qint64 lastAnsweredStart = -1; // when the latest request it answered had started
        qint64 abandonedAt = -1; // when we last dropped a connection to it in mid-request
    };

    bool direct() const { return m_connections.size() == 1 && m_pacer.interval() <= 0; }
    void onConnectionState(std::size_t index, std::size_t slot, int state);
    // Moves a slot's body bytes into the request; false when it was given up.
    bool drain(CurlTransferControl& control, ScheduledRequest& request);
    // A refusal that several connections may have caused: true when the request was taken back
    // (sent again later, or forgotten) instead of being answered.
    bool takeBackRefused(std::size_t index, ScheduledRequest& request, bool connectionLost);
    void checkStalls();
    // The connection and slot a request may start on now; connection -1 when none.
    std::pair<int, int> connectionFor(ScheduledRequest& request);
    std::pair<int, int> preemptFor(const ScheduledRequest& request);
    void start(ScheduledRequest& request, int index, int slot);
    bool roomForPredictions() const;
    // Whether all connections together carry fewer requests than MostStreams.
    bool mayAddStream() const;
    // abandoned: the connection is dropped by us in mid-request, which the server may still count.
    void stopRunning(ScheduledRequest& request, bool abandoned = true);
    void restartLater(ScheduledRequest& request, qint64 notBefore);
    // Closes what the connection keeps open; requests running on it start again later.
    void close(Connection& connection);
    void enforceLimit(const QString& origin);
    int openTo(const QString& origin, std::size_t except = SIZE_MAX) const;
    int answeringTo(const QString& origin, std::size_t except) const;
    OriginState& stateOf(const QString& origin);
    void forget(const ScheduledRequest* request);

    // Before the requests, whose bodies give their share back as they go: enough for the pieces of
    // 1 MB of a large file that six connections fetch ahead, and little beside a crawl's memory.
    MemoryBudget m_waitingMemory { 6 * 1024 * 1024 };
    std::vector<Connection> m_connections;
    std::vector<std::unique_ptr<ScheduledRequest>> m_requests;
    std::vector<std::unique_ptr<ScheduledRequest>> m_dropped; // still running, to be stopped
    bool m_deferStops = false;
    QHash<QString, OriginState> m_origins;
    RequestPacer m_pacer;
    CookieJar* m_jar = nullptr;
    TransferControl::StateHandler m_directHandler;
    quint64 m_order = 0;
    qint64 m_blockedUntil = -1;
    int m_accessType = TransferControl::AccessPreconfigured;
    QString m_proxy;
    int m_requestTimeout = 0;
    bool m_http2 = false;
    bool m_multiplexing = false; // a connection has answered over HTTP/2
};
