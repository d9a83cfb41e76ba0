#include "transfer/cookiejar.h"

#include "transfer/curlrequest.h"

#include <QHash>
#include <algorithm>
#include <memory>
#include <vector>

std::optional<CookieLine> ParseCookieLine(const QByteArray& line)
{
    const QList<QByteArray> fields = line.split('\t');
    QByteArray domain = fields[0].toLower();
    if (domain.startsWith("#httponly_"))
        domain.remove(0, 10);
    else if (domain.startsWith('#'))
        return std::nullopt;
    bool timed = false;
    const qint64 expires = fields.size() >= 6 ? fields[4].toLongLong(&timed) : 0;
    if (domain.startsWith('.'))
        domain.remove(0, 1);
    if (!timed || domain.isEmpty())
        return std::nullopt;
    return CookieLine { domain, domain + '\t' + fields[1].toUpper() + '\t' + fields[2] + '\t' + fields[5], expires };
}

void CookieJar::setText(const QByteArray& text, bool keep)
{
    // libcurl reads the lines into a handle of its own, which leaves them as it writes them; a
    // cookie's place in the text, its last when it is there twice, stands for its age.
    const std::unique_ptr<CURL, void (*)(CURL*)> scratch(curl_easy_init(), curl_easy_cleanup);
    QList<QByteArray> lines;
    QHash<QByteArray, quint64> place;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        lines.append(line);
        if (const auto cookie = ParseCookieLine(line))
            place[cookie->key] = quint64(lines.size());
    }
    Cookies cookies;
    if (scratch) {
        LoadCookies(scratch.get(), lines);
        for (const QByteArray& line : CookiesOf(scratch.get())) {
            if (const auto cookie = ParseCookieLine(line))
                cookies[cookie->key] = { line, cookie->domain, place.value(cookie->key, quint64(lines.size()) + 1) };
        }
    }
    m_born = quint64(lines.size()) + 1;
    take(std::move(cookies));
    m_keeping = keep;
}

QByteArray CookieJar::text() const
{
    if (m_lines.isEmpty())
        return {};
    return "# Netscape HTTP Cookie File\n" + m_lines.join('\n') + '\n';
}

bool CookieJar::commit(const QList<QByteArray>& lines)
{
    if (!m_keeping)
        return true;
    ++m_born;
    Cookies cookies;
    for (const QByteArray& line : lines) {
        const auto cookie = ParseCookieLine(line);
        if (!cookie)
            continue;
        const auto known = m_cookies.find(cookie->key);
        cookies[cookie->key] = { line, cookie->domain, known != m_cookies.end() ? known->second.born : m_born };
    }
    return take(std::move(cookies));
}

bool CookieJar::take(Cookies cookies)
{
    // Newest first; cookies of one age last key first, so that every crawl keeps and drops the same.
    std::vector<Cookies::iterator> order;
    order.reserve(cookies.size());
    for (auto it = cookies.begin(); it != cookies.end(); ++it)
        order.push_back(it);
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a->second.born != b->second.born ? a->second.born > b->second.born : a->first > b->first;
    });
    QHash<QByteArray, int> perDomain;
    int kept = 0;
    bool dropped = false;
    QList<QByteArray> lines;
    for (const auto& it : order) {
        int& ofDomain = perDomain[it->second.domain];
        if (ofDomain >= MostPerDomain || kept >= MostInAll) {
            cookies.erase(it);
            dropped = true;
            continue;
        }
        ++ofDomain;
        ++kept;
        lines.append(it->second.line);
    }
    std::reverse(lines.begin(), lines.end());
    if (lines != m_lines) {
        m_lines = std::move(lines);
        ++m_version;
    }
    m_cookies = std::move(cookies);
    return !dropped;
}
