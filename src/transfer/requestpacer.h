#pragma once
// The least time between the starts of two requests to one host, shared by every connection of a
// crawl: a first request, each redirect hop and each re-send on a new connection all count, so a
// site asked for an interval sees it between any two requests it receives from us.
//   RequestPacer pacer;
//   pacer.setInterval(500);
//   if (pacer.waitFor(u"h:80"_s) == 0)
//       pacer.started(u"h:80"_s); // and send; the next request to h:80 waits 500 ms
// Hosts are named by HostPortOf (host and port).
// A host may ask for more: a longer interval of its own (a robots.txt Crawl-delay), or no request at
// all until a moment (a Retry-After); both hold for every connection. A pacer may be used from several
// threads at once.

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <functional>
#include <mutex>

class RequestPacer {
public:
    // clock: milliseconds from some start, as every wait is measured; none measures from the pacer's
    // making.
    explicit RequestPacer(std::function<qint64()> clock = {});

    void setInterval(int milliseconds);
    int interval() const
    {
        const std::lock_guard guard(m_mutex);
        return m_interval;
    }
    // The clock every wait is measured on.
    qint64 now() const { return m_clock ? m_clock() : m_elapsed.elapsed(); }
    // How long a request to host must still wait; 0 when it may start now.
    qint64 waitFor(const QString& host) const;
    void started(const QString& host);
    // The interval to host is the larger of the common one and this; 0 takes the common one.
    void setHostInterval(const QString& host, int milliseconds);
    // No request to host starts for milliseconds from now (a shorter hold never cuts a longer one).
    void hold(const QString& host, qint64 milliseconds);
    // Forgets every host's own interval and hold.
    void forgetHosts();

private:
    std::function<qint64()> m_clock;
    QElapsedTimer m_elapsed;
    int intervalOf(const QString& host) const;

    mutable std::mutex m_mutex; // over everything below
    int m_interval = 0;
    QHash<QString, qint64> m_lastStart;
    QHash<QString, int> m_hostInterval;
    QHash<QString, qint64> m_heldUntil;
};
