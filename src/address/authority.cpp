#include "address/authority.h"

#include <QHash>
#include <QUrl>

#include <mutex>

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
// an address it depends on. One table for both threads: a thread_local one would be destroyed as
// its thread ends, which the MinGW runtime does after freeing the thread's storage (a corrupt heap).
Authority authorityOf(const QString& address)
{
    static std::mutex guard;
    static QHash<QString, Authority> known;
    const qsizetype scheme = address.indexOf(u"://"_s);
    qsizetype end = scheme < 0 ? address.size() : scheme + 3;
    while (end < address.size() && address[end] != u'/' && address[end] != u'?' && address[end] != u'#')
        ++end;
    const QString key = address.left(end);
    const std::lock_guard held(guard);
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

QString HostPortOf(const QString& address)
{
    return authorityOf(address).hostPort;
}

QString OriginOf(const QString& address)
{
    return authorityOf(address).origin;
}

bool RefererMayGo(const QString& referrer, const QString& address)
{
    return !referrer.startsWith(u"https:"_s, Qt::CaseInsensitive)
        || address.startsWith(u"https:"_s, Qt::CaseInsensitive);
}
