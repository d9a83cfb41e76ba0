#pragma once
// A connection pool without sockets, for the scheduler's decisions: each address answers from a
// script (status, body, how long it takes, or a fault), on a fake clock that pump() steps to the
// next thing due, and every request that reaches the server is written down as its log would be.
//   ScriptedPool pool;
//   RequestPacer pacer(pool.clock());
//   ConnectionScheduler scheduler(pool, pacer);
//   pool.script(u"http://h/a.gif"_s, { ScriptedPool::Reply { 200, "GIF", 40 } });
//   ... scheduler.startWhatMay(); scheduler.pumpConnections(10); ...
//   pool.sent(u"http://h/a.gif"_s)   // how often it reached the server

#include "transfer/connectionpool.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class ScriptedPool final : public ConnectionPool {
public:
    enum Fault {
        NoFault,
        Refused, // the connection is refused (libcurl's 7)
        Reset, // reset before any answer (56)
        Http2Stream, // an HTTP/2 stream the server never processed (92)
        Stall, // never answers
    };
    struct Reply {
        int status = 200;
        QByteArray body;
        qint64 delayMs = 10; // from the sending to the headers
        qint64 bodyMs = 0; // from the headers to the end of the body
        Fault fault = NoFault;
        bool http2 = false;
        qint64 connectMs = 0; // before the request is sent: the server sees nothing until then
        int retryAfter = -1; // seconds named in a Retry-After line; -1: none
    };
    struct Sent {
        qint64 at;
        int connection;
        int slot;
        QString address;
        QString verb;
    };

    ScriptedPool();
    ~ScriptedPool() override;

    std::function<qint64()> clock() const
    {
        return [this] { return m_now; };
    }
    qint64 now() const { return m_now; }
    void advance(qint64 milliseconds) { m_now += milliseconds; }
    // The replies to address's successive sendings; the last one repeats. Unscripted: 200, empty.
    void script(const QString& address, QList<Reply> replies) { m_scripts.insert(address, std::move(replies)); }
    // More connections than limit open to one origin at once are answered 503 (or fault, if set).
    void limitConnections(int limit, Fault fault = NoFault)
    {
        m_limit = limit;
        m_limitFault = fault;
    }

    // The server's log.
    const std::vector<Sent>& sentLog() const { return m_sent; }
    int sent(const QString& address, const QString& verb = {}) const;
    // Addresses sent more than once with their counts, "a x2"; empty when none was.
    QStringList sentTwice() const;
    int stops() const { return m_stops; }
    int closes() const { return m_closes; }

    Transfer& transferOn(int connection, int slot) override;
    void pump(int waitMs, int wakeDescriptor = -1, const std::function<void(bool)>& hold = {}) override;

private:
    class Slot;

    void resized(int connections) override;
    void startTransfer(int connection, int slot, const ScheduledRequest& request) override;
    void stopTransfer(int connection, int slot) override;
    void closeConnection(int connection) override;
    Slot& slotOf(int connection, int slot);
    // The moment the next state of a slot is due; -1 when none is.
    qint64 dueOf(const Slot& slot) const;
    void step(int connection, int slot);
    void logSent(Slot& slot);

    qint64 m_now = 0;
    QHash<QString, QList<Reply>> m_scripts;
    QHash<QString, int> m_sendings;
    int m_limit = 0;
    Fault m_limitFault = NoFault;
    std::vector<std::vector<std::unique_ptr<Slot>>> m_slots;
    std::vector<Sent> m_sent;
    int m_stops = 0;
    int m_closes = 0;
};
