#pragma once
// The one thread beyond the crawl's: with several connections (or an interval between requests) it
// runs the look-ahead's network, starting the requests the scheduler picks and advancing them
// whenever their sockets are ready, also while the crawl writes files and scans pages.
//   NetworkThread thread(scheduler, [&] { return crawlHasNews(); });
//   thread.start();
//   { const auto held = thread.lock(); scheduler.add(address, u"HEAD"_s, lines, 7, true); thread.wake(); }
//
// The contract. Break none of it:
// - Two threads. The crawl's thread calls the look-ahead control (every TransferControl call, and
//   the state handler raised from its pump()); this thread runs the scheduler and the connection
//   pool. Nothing else touches them.
// - lock() (one recursive mutex) guards the scheduler and all it holds (the requests and their
//   bodies, the origin book, the pool and its libcurl handles), the look-ahead control's executed
//   request and its answer (current request, busy, headers, error, the piece handed out), and this
//   thread's own flags. This thread holds it except while it sleeps on the sockets (the pool's pump
//   lets it go, and takes it again to raise states) or waits for work; the crawl holds it in every
//   call except while its state handler runs and while it waits for news.
// - Not under the lock: the control's settings (the crawl's thread alone; the pool gets a copy only
//   while this thread is stopped, through whileStopped), the number of connections (changed only
//   while it is stopped, so read without the lock), whether one has spoken HTTP/2 (atomic), the pacer (its own mutex),
//   the shared memory budget of waiting bodies (atomic), and the cookie jar (written only by the crawl's thread: under
//   the lock as it takes an answer, or while this thread is stopped; read by both).
// - While it runs, only this thread starts or stops a transfer: a request the crawl drops while it runs is marked
//   (ConnectionScheduler::setDeferStops) and stopped here at the next turn (settleDrops).
// - A prediction never changes a result: the crawl's request served from one gets the states,
//   header block, body and error it would have got running itself. A prediction that met a refusal
//   (refused, reset or closed before an answer, or a 503 while other connections were open to the
//   origin) is never served, nor one fetched with other cookies than the crawl's request carries,
//   nor one that asked to wait once the host is held; what an answer sets joins the jar only when
//   the crawl takes that answer, in the crawl's order.
// - The crawl's own request is never starved: it starts first, takes the slot of the most
//   speculative prediction not sent yet (or held up long, OriginBook::givesWayAt), else the first
//   slot that comes free; when it waits far
//   longer than its origin answers others, the connections the origin does not serve are closed as
//   they come free, so that the server gets to it.
// - No request reaches a server twice unless its first sending failed at the connection level, or
//   a prediction the server left unanswered for long had to give way to the crawl's own request.
// - Wake-ups are few: this thread is woken (wake()) for the crawl's executed request only when it
//   has not started it, for drops only when something was dropped, for a cancel only when the
//   request still runs, and for predictions once they make a burst (as many as the connections)
//   or the crawl is about to wait; fewer start at the thread's next turn.

#include "platform/wakeup.h"
#include "transfer/connectionscheduler.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class NetworkThread {
public:
    // hasNews, asked under the lock: whether the crawl's executed request has something to tell.
    NetworkThread(ConnectionScheduler& scheduler, std::function<bool()> hasNews);
    ~NetworkThread();
    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

    void start();
    void stop();
    bool running() const { return m_thread.joinable(); }
    std::unique_lock<std::recursive_mutex> lock() const { return std::unique_lock(m_lock); }
    std::recursive_mutex& mutex() const { return m_lock; }
    // Runs change with the thread stopped, and starts it again when it ran.
    template <typename Change> void whileStopped(Change change)
    {
        const bool wasRunning = running();
        stop();
        {
            const auto held = lock();
            change();
        }
        if (wasRunning)
            start();
    }

    // Under the lock: there is new work, or less (a drop to settle).
    void wake();
    // Under the lock: a prediction came. It starts at the thread's next turn, or once the crawl
    // next waits (wakeForPredictions); a thread idle for want of work is woken at once only for a
    // burst of them (as many as there are connections): the work list's records come one at a time
    // as the crawl takes records, and waking the thread for each passes the lock to and fro.
    void predicted();
    // Under the lock, at each turn of the crawl: what was predicted since the thread last looked
    // starts now when it makes a burst, or when the crawl is about to wait (crawlWaits).
    void wakeForPredictions(bool crawlWaits);
    // The crawl waits, the lock held by held let go meanwhile, at most maxWaitMs or until done().
    template <typename Done> void waitForNews(std::unique_lock<std::recursive_mutex>& held, int maxWaitMs, Done done)
    {
        m_news.wait_for(held, std::chrono::milliseconds(maxWaitMs), done);
    }

private:
    void work();

    ConnectionScheduler& m_scheduler;
    std::function<bool()> m_hasNews;
    mutable std::recursive_mutex m_lock;
    std::condition_variable_any m_news; // the executed request has something to tell
    std::condition_variable_any m_work; // the thread has something to start
    std::thread m_thread;
    Wakeup m_wakeup;
    bool m_stopping = false;
    bool m_waiting = false; // it sleeps on the sockets
    bool m_idle = false; // it waits for work, nothing running
    int m_predictedSince = 0; // predictions that came after it last started requests
    bool m_signalled = false;
};
