#include "transfer/cookiejar.h"

#include "transfer/curlrequest.h"

#include <algorithm>
#include <memory>

void CookieJar::setText(const QByteArray& text, bool keep)
{
    // libcurl reads the lines into a handle of its own, which leaves them as it writes them.
    const std::unique_ptr<CURL, void (*)(CURL*)> scratch(curl_easy_init(), curl_easy_cleanup);
    QList<QByteArray> lines;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            lines.append(line);
    }
    if (scratch)
        LoadCookies(scratch.get(), lines);
    m_keeping = true;
    commit(scratch ? CookiesOf(scratch.get()) : QList<QByteArray>());
    m_keeping = keep;
}

QByteArray CookieJar::text() const
{
    if (m_lines.isEmpty())
        return {};
    return "# Netscape HTTP Cookie File\n" + m_lines.join('\n') + '\n';
}

void CookieJar::commit(QList<QByteArray> lines)
{
    if (!m_keeping)
        return;
    std::sort(lines.begin(), lines.end());
    if (lines == m_lines)
        return;
    m_lines = std::move(lines);
    ++m_version;
}
