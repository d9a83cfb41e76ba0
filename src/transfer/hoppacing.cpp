#include "transfer/hoppacing.h"

#include "address/authority.h"

bool HopPacing::start(const QString& address)
{
    m_host = HostPortOf(address);
    m_resendHeld = false;
    m_held = m_pacer && m_pacer->waitFor(m_host) > 0;
    return !m_held;
}

qint64 HopPacing::delay() const
{
    return m_held ? m_pacer->waitFor(m_host) : -1;
}

void HopPacing::sent()
{
    m_held = false;
    m_sends = 0;
    if (m_pacer) {
        m_pacer->started(m_host);
        m_sentAt = m_pacer->now();
    }
}

bool HopPacing::sending()
{
    // The first send of a hop was paced when it started; a second one is libcurl's own re-send.
    if (++m_sends < 2 || !m_pacer)
        return true;
    if (m_pacer->waitFor(m_host) > 0) {
        m_resendHeld = true;
        return false;
    }
    m_pacer->started(m_host);
    return true;
}

void HopPacing::clear()
{
    m_held = false;
    m_resendHeld = false;
}
