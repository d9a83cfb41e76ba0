#pragma once
// Which request runs on which connection, for the look-ahead transfer control. It holds the
// requests the crawl said are coming and the one it executes, starts them nearest first (the
// executed one, then the lowest tag, then the earliest predicted) as the pool's slots, the pacer
// and each origin's limit allow, and keeps what they bring until the control hands it out. It
// decides; the connection pool carries out, and raises what the requests bring through its callback.
//   CurlConnectionPool pool(pacer);
//   ConnectionScheduler scheduler(pool, pacer);
//   scheduler.configure(6);
//   scheduler.add(u"http://h/b.gif"_s, u"HEAD"_s, lines, 7, true);  // a prediction of tag 7
//   scheduler.startWhatMay(); scheduler.pumpConnections(10); scheduler.startWhatMay();
//
// Servers that take fewer connections than we offer must not change what the crawl sees:
// - A prediction whose connection is refused, reset or closed before an answer, or that is answered
//   503 while other connections of ours are open to that origin, is never served: the origin gets
//   one connection fewer from then on, and the request is sent again when a connection is free, or
//   by the crawl in its turn. The
//   executed request is treated alike (up to four times, waiting longer each time) while other
//   connections are, or were just, open to its origin; alone, its failure is the answer.
// - A request fetched ahead runs with the cookies the jar holds as it starts; what its answers set is
//   kept with it for the look-ahead control to judge and commit. While the crawl's answers keep
//   changing the jar, nothing is fetched ahead: it would carry other cookies than the crawl's request.
// - A request that waits far longer than the origin usually takes to answer, while requests started
//   after it are answered, is held up behind our own connections: idle ones to that origin are
//   closed, and when the executed request is the one waiting, the origin is limited to the
//   connections it answers on, the others closed as they come free, until the server gets to it.
// - No request reaches the server twice unless its first sending failed at the connection level: a
//   prediction the server may be working on is cut off only when held up long (the crawl's own
//   request must not wait for a server that never answers it), and a request held up is waited for.
// - A 429 or 503 that names its wait in Retry-After, to whichever request, holds the host for every
//   connection and is the request's answer: the crawl waits it out and sends again, counting.
// The rules on time and limits are OriginBook's.

#include "transfer/connectionpool.h"
#include "transfer/cookiejar.h"
#include "transfer/originbook.h"
#include "transfer/requestlist.h"
#include "transfer/requestpacer.h"
#include "transfer/scheduledrequest.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class ConnectionScheduler {
public:
    // The code and text of a request whose spooled body could not be written or read back.
    static constexpr int SpoolErrorCode = 23; // libcurl's CURLE_WRITE_ERROR
    static QString spoolErrorText();

    // pool and pacer outlive the scheduler; the pool's states come to the scheduler from now on.
    ConnectionScheduler(ConnectionPool& pool, RequestPacer& pacer);
    ~ConnectionScheduler();
    ConnectionScheduler(const ConnectionScheduler&) = delete;
    ConnectionScheduler& operator=(const ConnectionScheduler&) = delete;

    // Connections at once (1 to TransferControl::MostConnections); forgets every request and origin.
    void configure(int connections);
    int connections() const { return m_pool.size(); }
    // The most requests that run at once now: more than connections once one speaks HTTP/2.
    int requestsAtOnce() const
    {
        return m_pool.multiplexing()
            ? std::min(connections() * ConnectionPool::StreamsPerConnection, ConnectionPool::MostStreams)
            : connections();
    }
    // Whether an answer with Retry-After to any request holds its host (see onState).
    void setFollowRetryAfter(bool on) { m_followRetryAfter = on; }
    // The jar whose version a request starts with; nullptr for none.
    void setCookieJar(const CookieJar* jar)
    {
        m_jar = jar;
        m_cookieChanges = 0;
    }
    // The crawl took an answer; changed: its cookies changed the jar.
    void answerTaken(bool changedCookies) { m_cookieChanges = changedCookies ? m_cookieChanges + 1 : 0; }

    ScheduledRequest* find(const QString& address, const QString& verb, const QString& headerLines) const
    {
        return m_requests.find(address, verb, headerLines);
    }
    ScheduledRequest& add(
        const QString& address, const QString& verb, const QString& headerLines, qint64 tag, bool predicted)
    {
        return m_requests.add(address, verb, headerLines, tag, predicted);
    }
    // Stops the request when it runs and forgets it. With stops deferred, a request that runs is
    // only marked, and stopped by settleDrops() on the thread that serves the network.
    void remove(ScheduledRequest& request);
    void setDeferStops(bool defer) { m_deferStops = defer; }
    void settleDrops();
    // Forgets the predictions not executed that pick picks; how many there were.
    template <typename Pick> int removePredictedIf(Pick pick)
    {
        const std::vector<ScheduledRequest*> dropped = m_requests.predictions(pick);
        for (ScheduledRequest* request : dropped)
            remove(*request);
        return int(dropped.size());
    }
    // Forgets the predictions of tag not executed (true when there were any), or all of them.
    bool removePredicted(qint64 tag)
    {
        return removePredictedIf([tag](const ScheduledRequest& r) { return r.predicted && r.tag == tag; }) > 0;
    }
    void removeAllPredicted()
    {
        removePredictedIf([](const ScheduledRequest&) { return true; });
    }
    int predictedWaiting() const { return m_requests.predictedWaiting(); }

    // Starts every request that may start now.
    void startWhatMay();
    // Advances the running requests through the pool, sleeping at most waitMs (or until a held
    // request may start, when none runs); wakeDescriptor and hold as for ConnectionPool::pump.
    void pumpConnections(int waitMs, int wakeDescriptor = -1, const std::function<void(bool)>& hold = {});
    // Whether a request is on the network.
    bool running() const { return m_pool.running(); }
    // The earliest moment a request held back by a wait may start; -1 when none is.
    qint64 blockedUntil() const { return m_blockedUntil; }
    qint64 now() const { return m_pacer.now(); }
    // What the scheduler learnt of an origin; for tests.
    const OriginState& origin(const QString& origin) { return m_origins.of(origin); }

private:
    void onState(int connection, int slot, int state);
    // Moves a slot's body bytes into the request; false when it was given up.
    bool drain(ConnectionPool::Transfer& transfer, ScheduledRequest& request);
    // A refusal that several connections may have caused: true when the request was taken back
    // (sent again later, or forgotten) instead of being answered.
    bool takeBackRefused(int connection, ScheduledRequest& request, bool connectionLost);
    void checkStalls();
    // The connection and slot a request may start on now; connection -1 when none.
    std::pair<int, int> connectionFor(ScheduledRequest& request);
    std::pair<int, int> preemptFor(const ScheduledRequest& request);
    void start(ScheduledRequest& request, int connection, int slot);
    bool roomForPredictions() const;
    // abandoned: the connection is dropped by us in mid-request, which the server may still count.
    void stopRunning(ScheduledRequest& request, bool abandoned = true);
    void restartLater(ScheduledRequest& request, qint64 notBefore);
    // Closes what the connection keeps open; requests running on it start again later.
    void close(int connection);
    void enforceLimit(const QString& origin);

    ConnectionPool& m_pool;
    RequestPacer& m_pacer;
    OriginBook m_origins;
    // Before the requests, whose bodies give their share back as they go: enough for the pieces of
    // 1 MB of a large file that six connections fetch ahead, and little beside a crawl's memory.
    MemoryBudget m_waitingMemory { 6 * 1024 * 1024 };
    RequestList m_requests { m_waitingMemory };
    std::vector<std::unique_ptr<ScheduledRequest>> m_dropped; // still running, to be stopped
    bool m_deferStops = false;
    const CookieJar* m_jar = nullptr;
    int m_cookieChanges = 0; // answers in a row the crawl took whose cookies changed the jar
    qint64 m_blockedUntil = -1;
    bool m_followRetryAfter = false;
};
