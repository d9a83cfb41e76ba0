#include "transfer/requestpacer.h"

#include <algorithm>
#include <utility>

RequestPacer::RequestPacer(std::function<qint64()> clock)
    : m_clock(std::move(clock))
{
    m_elapsed.start();
}

void RequestPacer::setInterval(int milliseconds)
{
    const std::lock_guard guard(m_mutex);
    m_interval = std::max(0, milliseconds);
}

int RequestPacer::intervalOf(const QString& host) const
{
    return std::max(m_interval, m_hostInterval.value(host, 0));
}

qint64 RequestPacer::waitFor(const QString& host) const
{
    const std::lock_guard guard(m_mutex);
    qint64 wait = std::max<qint64>(0, m_heldUntil.value(host, 0) - now());
    const int interval = intervalOf(host);
    const auto last = m_lastStart.constFind(host);
    if (interval > 0 && last != m_lastStart.cend())
        wait = std::max(wait, *last + interval - now());
    return wait;
}

void RequestPacer::started(const QString& host)
{
    const std::lock_guard guard(m_mutex);
    if (intervalOf(host) > 0)
        m_lastStart.insert(host, now());
}

void RequestPacer::setHostInterval(const QString& host, int milliseconds)
{
    const std::lock_guard guard(m_mutex);
    m_hostInterval.insert(host, std::max(0, milliseconds));
}

void RequestPacer::hold(const QString& host, qint64 milliseconds)
{
    const std::lock_guard guard(m_mutex);
    const qint64 until = now() + std::max<qint64>(0, milliseconds);
    if (until > m_heldUntil.value(host, 0))
        m_heldUntil.insert(host, until);
}

void RequestPacer::forgetHosts()
{
    const std::lock_guard guard(m_mutex);
    m_hostInterval.clear();
    m_heldUntil.clear();
}
