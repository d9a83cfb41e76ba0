#include "transfer/requestpacer.h"

#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

int portOf(const QUrl& url)
{
    return url.port(url.scheme().compare(u"https"_s, Qt::CaseInsensitive) == 0 ? 443 : 80);
}

} // namespace

RequestPacer::RequestPacer()
{
    m_clock.start();
}

void RequestPacer::setInterval(int milliseconds)
{
    m_interval = std::max(0, milliseconds);
}

qint64 RequestPacer::waitFor(const QString& host) const
{
    if (m_interval <= 0)
        return 0;
    const auto last = m_lastStart.constFind(host);
    if (last == m_lastStart.cend())
        return 0;
    return std::max<qint64>(0, *last + m_interval - now());
}

void RequestPacer::started(const QString& host)
{
    if (m_interval > 0)
        m_lastStart.insert(host, now());
}

QString RequestPacer::hostOf(const QString& address)
{
    const QUrl url(address);
    return url.host().toLower() + u':' + QString::number(portOf(url));
}

QString RequestPacer::originOf(const QString& address)
{
    const QUrl url(address);
    return url.scheme().toLower() + u"://"_s + url.host().toLower() + u':' + QString::number(portOf(url));
}
