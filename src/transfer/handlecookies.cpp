#include "transfer/handlecookies.h"

#include "transfer/curlrequest.h"

void HandleCookies::setJar(CookieJar* jar, bool commits)
{
    m_jar = jar;
    m_commits = commits;
    m_synced = false;
}

void HandleCookies::load(void* easy)
{
    if (!m_jar || !easy)
        return;
    if (!m_synced || m_version != m_jar->version())
        LoadCookies(static_cast<CURL*>(easy), m_jar->lines());
    m_version = m_jar->version();
    // Until an answer sets a cookie: the handle then holds more than the jar until it is committed.
    m_synced = true;
}

void HandleCookies::headerLine(QByteArrayView line)
{
    if (line.size() > 11 && qstrnicmp(line.data(), "set-cookie:", 11) == 0)
        m_synced = false;
}

std::optional<QList<QByteArray>> HandleCookies::now(void* easy) const
{
    // Holding the jar's cookies alone, the handle has nothing to add to it.
    if (!m_jar || !easy || m_synced)
        return std::nullopt;
    return CookiesOf(static_cast<CURL*>(easy));
}

void HandleCookies::commit(void* easy)
{
    if (!m_jar || !m_commits || !m_jar->keeping() || !easy || m_synced)
        return;
    // Whatever the jar dropped to stay within its bounds is still in the handle.
    m_synced = m_jar->commit(CookiesOf(static_cast<CURL*>(easy)));
    m_version = m_jar->version();
}
