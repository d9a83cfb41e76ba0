#pragma once
// The cookies of a crawl as the crawl has taken its answers: lines of the cookies.txt format that
// browsers export and libcurl reads and writes (domain, subdomains, path, secure, expiry, name,
// value, tab-separated), oldest first, with a version that changes whenever they do. A request
// carries the jar as it stood when the request started; what its answer sets joins the jar only when
// the crawl takes that answer (commit), so with several connections every request the crawl takes
// carried the cookies it would have carried with one.
// The jar is bounded as browsers bound theirs: the newest MostPerDomain cookies of each domain and
// the newest MostInAll in all are kept, so a site that sets new cookies with every answer costs each
// request the same however long the crawl has run. A cookie an answer replaces keeps its age.
//   CookieJar jar;
//   jar.setText(QByteArray(".example.org\tTRUE\t/\tFALSE\t0\tsession\tabc\n"), true);
//   jar.commit(linesAfterTheAnswer);   // version() changes when they differ

#include <QByteArray>
#include <QList>
#include <map>
#include <optional>

// What one cookies.txt line says of where its cookie goes; none for a comment or a broken line.
struct CookieLine {
    QByteArray domain; // lower case, without the HttpOnly mark and the leading dot
    QByteArray key; // what tells one cookie from another: domain, whether subdomains match, path, name
    qint64 expires = 0; // seconds since 1970; 0 for a session cookie
};
std::optional<CookieLine> ParseCookieLine(const QByteArray& line);

class CookieJar {
public:
    // What RFC 6265 asks a user agent to keep at least. A site sets few cookies by its answers'
    // headers (scripts set most); reloading a handle costs libcurl the square of a domain's count.
    static constexpr int MostPerDomain = 50;
    static constexpr int MostInAll = 3000;

    // Replaces the cookies by those of cookies.txt text, read as libcurl reads such a file: comments,
    // broken and expired lines are left out; the file's order is taken as their age, oldest first.
    // keep: whether answers' cookies join the jar.
    void setText(const QByteArray& text, bool keep);
    // The jar as cookies.txt text, oldest first; empty when it holds no cookie.
    QByteArray text() const;
    const QList<QByteArray>& lines() const { return m_lines; }
    quint64 version() const { return m_version; }
    bool keeping() const { return m_keeping; }
    // Takes the cookies as an answer left them, when answers' cookies are kept. False when the jar
    // dropped some of them to stay within its bounds, so that it holds fewer than it was given.
    bool commit(const QList<QByteArray>& lines);

private:
    struct Cookie {
        QByteArray line;
        QByteArray domain;
        quint64 born = 0; // the commit that first brought it
    };
    using Cookies = std::map<QByteArray, Cookie>; // by domain, path and name
    // Keeps cookies, dropped down to the bounds; false when some were dropped.
    bool take(Cookies cookies);

    Cookies m_cookies;
    QList<QByteArray> m_lines; // m_cookies' lines, oldest first
    quint64 m_version = 0;
    quint64 m_born = 0;
    bool m_keeping = false;
};
