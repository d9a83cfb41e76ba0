#pragma once
// The cookie engine of one libcurl handle kept in step with the crawl's jar: the jar's cookies are
// loaded before a request only when the handle holds other ones, and what the answers set is read
// back from the handle, to be committed to the jar by whoever takes the answer.
//   HandleCookies cookies;
//   cookies.setJar(&jar, true);
//   cookies.load(easy);     // before the request
//   cookies.commit(easy);   // after it, when the crawl takes its answer

#include "transfer/cookiejar.h"

#include <QByteArray>
#include <QList>
#include <optional>

class HandleCookies {
public:
    // commits: the handle's owner commits what answers set itself; otherwise its owner reads now().
    void setJar(CookieJar* jar, bool commits);
    CookieJar* jar() const { return m_jar; }
    // Before a request: the handle gets the jar's cookies unless it holds them already.
    void load(void* easy);
    // A header line of an answer; one that sets a cookie leaves the handle holding more than the jar.
    void headerLine(QByteArrayView line);
    // The handle's cookies as its answers left them; none without a jar, or when no answer set any
    // since the jar's were loaded.
    std::optional<QList<QByteArray>> now(void* easy) const;
    // Takes the handle's cookies into the jar, when this handle commits and the jar keeps cookies.
    void commit(void* easy);

private:
    CookieJar* m_jar = nullptr;
    bool m_commits = false;
    bool m_synced = false; // the handle holds the jar's cookies of m_version alone
    quint64 m_version = 0;
};
