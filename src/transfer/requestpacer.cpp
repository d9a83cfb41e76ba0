#include "transfer/requestpacer.h"

#include <QHash>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

int portOf(const QUrl& url)
{
    return url.port(url.scheme().compare(u"https"_s, Qt::CaseInsensitive) == 0 ? 443 : 80);
}

struct Authority {
    QString hostPort; // host:port
    QString origin; // scheme://host:port
};

// Asked for every request and every robots check, where parsing the whole address each time was a
// visible share of a crawl's work: the answer is kept per scheme and authority, the only part of
// an address it depends on.
Authority authorityOf(const QString& address)
{
    thread_local QHash<QString, Authority> known;
    const qsizetype scheme = address.indexOf(u"://"_s);
    qsizetype end = scheme < 0 ? address.size() : scheme + 3;
    while (end < address.size() && address[end] != u'/' && address[end] != u'?' && address[end] != u'#')
        ++end;
    const QString key = address.left(end);
    auto found = known.constFind(key);
    if (found == known.cend()) {
        if (known.size() >= 1024)
            known.clear();
        const QUrl url(key);
        const QString hostPort = url.host().toLower() + u':' + QString::number(portOf(url));
        found = known.insert(key, { hostPort, url.scheme().toLower() + u"://"_s + hostPort });
    }
    return *found;
}

} // namespace

RequestPacer::RequestPacer()
{
    m_clock.start();
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

QString RequestPacer::hostOf(const QString& address)
{
    return authorityOf(address).hostPort;
}

QString RequestPacer::originOf(const QString& address)
{
    return authorityOf(address).origin;
}
