#pragma once
// The connections of the look-ahead and the slots that run requests over them, as the connection
// scheduler sees them: which origin each connection keeps open, whether it has carried an answer and
// speaks HTTP/2, and which request each slot runs. The scheduler decides; the pool carries out
// (start on a slot, stop it, close a connection, pump) through machinery of its own: libcurl's
// (CurlConnectionPool) or, in the tests, a script's. What a slot's transfer brings is raised through
// the state callback with TransferControl's state numbers, from pump() alone.
//   pool.configure(6);
//   pool.setStateCallback([&](int connection, int slot, int state) { take(pool.transferOn(connection, slot)); });
//   const int slot = pool.freeSlot(0, pool.mayAddStream()); // 0: the first slot of connection 0
//   pool.startOn(0, slot, request);                          // connection 0 now keeps request.origin open
//   pool.pump(10);                                           // sleeps at most 10 ms, raises what came
// A connection that has answered over HTTP/2 runs up to StreamsPerConnection requests at once, each
// on a slot of its own; every other connection runs one, on its first slot.

#include "transfer/scheduledrequest.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

class ConnectionPool {
public:
    // Requests one HTTP/2 connection carries at once, and all of them together carry, as each keeps
    // a little of its body in memory.
    static constexpr int StreamsPerConnection = 16;
    static constexpr int MostStreams = 96;

    // What the request on a slot has brought so far; read by the state callback.
    class Transfer {
    public:
        virtual ~Transfer() = default;
        // The final answer's header block, status line first; empty before it.
        virtual QByteArray headers() const = 0;
        // Where the answer came from, after the redirects followed.
        virtual QString finalUrl() const = 0;
        virtual bool spokeHttp2() const = 0;
        // The body's length as the headers tell it; -1 when they do not.
        virtual qint64 expectedLength() const = 0;
        // The body bytes waiting, valid until the next call; empty when none are.
        virtual QByteArrayView nextBodyPiece() = 0;
        // The cookies as the request's answers left them; none without a jar.
        virtual std::optional<QList<QByteArray>> cookies() const = 0;
        virtual int errorCode() const = 0;
        virtual QString errorText() const = 0;
        // When the hop in progress was sent, on the scheduler's clock; -1 while it waits to be sent.
        virtual qint64 sentAt() const = 0;
        // Whether anything of the request reached the network: a request cut off before may start
        // again without the server seeing it twice.
        virtual bool sent() const = 0;
    };
    using StateCallback = std::function<void(int connection, int slot, int state)>;

    virtual ~ConnectionPool() = default;

    void setStateCallback(StateCallback callback) { m_callback = std::move(callback); }
    // Connections at once; every request is stopped and every connection closed.
    void configure(int connections);
    int size() const { return int(m_connections.size()); }

    // The origin connection keeps open; empty when it keeps none.
    const QString& originOf(int connection) const { return m_connections[std::size_t(connection)].origin; }
    bool answered(int connection) const { return m_connections[std::size_t(connection)].answered; }
    bool multiplexed(int connection) const { return m_connections[std::size_t(connection)].multiplexed; }
    // Whether a connection has answered over HTTP/2 since the pool was configured.
    bool multiplexing() const { return m_multiplexing.load(std::memory_order_relaxed); }
    bool idle(int connection) const { return runningCount(connection) == 0; }
    int runningCount(int connection) const;
    // Connections kept open to origin, and those of them that carried an answer; except is left out.
    int openTo(const QString& origin, int except = -1) const;
    int answeringTo(const QString& origin, int except = -1) const;
    // A slot free for a request to the connection's own origin, the first one alone unless another
    // stream may be added; -1 when none is.
    int freeSlot(int connection, bool anotherStream) const;
    // Whether all connections together carry fewer requests than MostStreams.
    bool mayAddStream() const;
    bool running() const;
    int slotCount(int connection) const { return int(m_connections[std::size_t(connection)].onSlots.size()); }
    ScheduledRequest* runningOn(int connection, int slot) const;
    // The connection carried an answer, over HTTP/2 when http2.
    void noteAnswer(int connection, bool http2);

    // Starts request on a free slot, the connection then keeping request.origin open; one kept open
    // to another origin, idle, is closed first.
    void startOn(int connection, int slot, ScheduledRequest& request);
    // Stops the request on a slot, which is free again; the connection stays open.
    void stop(int connection, int slot);
    // The request on a slot has raised its end: the slot is free again.
    void finished(int connection, int slot);
    // Closes what the connection keeps open, stopping the requests on it.
    void close(int connection);

    virtual Transfer& transferOn(int connection, int slot) = 0;
    // Advances the running requests, sleeping at most waitMs on their sockets (all of it when none
    // runs), and raises their states. The wait ends early once wakeDescriptor (when not -1) is readable. With hold, the
    // caller's lock is let go (hold(false)) while the network is served and taken again (hold(true))
    // for the states it raises and at the end.
    virtual void pump(int waitMs, int wakeDescriptor = -1, const std::function<void(bool)>& hold = {}) = 0;

protected:
    // The machinery: a pool of this many connections, a request started or stopped on a slot, a
    // connection closed.
    virtual void resized(int connections) = 0;
    virtual void startTransfer(int connection, int slot, const ScheduledRequest& request) = 0;
    virtual void stopTransfer(int connection, int slot) = 0;
    virtual void closeConnection(int connection) = 0;
    void raise(int connection, int slot, int state) const
    {
        if (m_callback)
            m_callback(connection, slot, state);
    }

private:
    struct Connection {
        QString origin;
        bool answered = false;
        bool multiplexed = false;
        std::vector<ScheduledRequest*> onSlots; // the request each slot runs
    };
    std::vector<Connection> m_connections;
    std::atomic<bool> m_multiplexing { false }; // set by the network thread, read by the crawl's too
    StateCallback m_callback;
};
