#include "transfer/networkthread.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// The longest the thread sleeps on the sockets at a time, and where no descriptor can wake it, the
// step it waits in so that new requests start soon.
constexpr int LongestWaitMs = 200;
constexpr int WaitStepMs = 2;

} // namespace

NetworkThread::NetworkThread(ConnectionScheduler& scheduler, std::function<bool()> hasNews)
    : m_scheduler(scheduler)
    , m_hasNews(std::move(hasNews))
{
}

NetworkThread::~NetworkThread()
{
    stop();
}

void NetworkThread::start()
{
    if (running())
        return;
    m_stopping = false;
    m_scheduler.setDeferStops(true);
    m_thread = std::thread([this] { work(); });
}

void NetworkThread::stop()
{
    if (!running())
        return;
    {
        const auto held = lock();
        m_stopping = true;
        wake();
    }
    m_thread.join();
    const auto held = lock();
    m_scheduler.setDeferStops(false);
    m_scheduler.settleDrops();
}

void NetworkThread::wake()
{
    if (!running())
        return;
    if (m_waiting && !m_signalled) {
        m_signalled = true;
        m_wakeup.signal();
    }
    m_work.notify_one();
}

void NetworkThread::predicted()
{
    ++m_predictedSince;
    // A thread busy with other requests starts it at its next turn: a page's predictions come in a
    // burst, and waking it for each would only pass the lock to and fro.
    if (m_idle && m_predictedSince >= m_scheduler.connections())
        m_work.notify_one();
}

void NetworkThread::wakeForPredictions(bool crawlWaits)
{
    if (m_predictedSince > 0 && (crawlWaits || m_predictedSince >= m_scheduler.connections()))
        wake();
}

// Starts what may start and advances what runs, letting the crawl in while it sleeps on the
// sockets, and tells the crawl when something arrived.
void NetworkThread::work()
{
    auto held = lock();
    const auto hold = [this, &held](bool now) {
        if (!now) {
            m_waiting = true;
            held.unlock();
            return;
        }
        held.lock();
        m_waiting = false;
        if (m_signalled) {
            m_wakeup.clear();
            m_signalled = false;
        }
    };
    while (!m_stopping) {
        m_scheduler.settleDrops();
        m_scheduler.startWhatMay();
        m_predictedSince = 0;
        if (!m_scheduler.running()) {
            const qint64 until = m_scheduler.blockedUntil();
            m_idle = true;
            if (until < 0)
                m_work.wait(held);
            else
                m_work.wait_for(
                    held, std::chrono::milliseconds(std::clamp<qint64>(until - m_scheduler.now(), 1, LongestWaitMs)));
            m_idle = false;
            continue;
        }
        const int wakeDescriptor = m_wakeup.descriptor();
        qint64 wait = wakeDescriptor >= 0 ? LongestWaitMs : WaitStepMs;
        // A request held back by a wait starts when the wait is over, whatever the sockets do.
        if (m_scheduler.blockedUntil() >= 0)
            wait = std::clamp<qint64>(m_scheduler.blockedUntil() - m_scheduler.now(), 0, wait);
        m_scheduler.pumpConnections(int(wait), wakeDescriptor, hold);
        m_scheduler.settleDrops();
        m_scheduler.startWhatMay();
        if (m_hasNews())
            m_news.notify_all();
    }
}
