#pragma once
// The cookies of a crawl as the crawl has taken its answers: lines of the cookies.txt format that
// browsers export and libcurl reads and writes (domain, subdomains, path, secure, expiry, name,
// value, tab-separated), sorted, with a version that changes whenever they do. A request carries
// the jar as it stood when the request started; what its answer sets joins the jar only when the
// crawl takes that answer (commit), so with several connections every request the crawl takes
// carried the cookies it would have carried with one.
//   CookieJar jar;
//   jar.setText(QByteArray(".example.org\tTRUE\t/\tFALSE\t0\tsession\tabc\n"), true);
//   jar.commit(linesAfterTheAnswer);   // version() changes when they differ

#include <QByteArray>
#include <QList>

class CookieJar {
public:
    // Replaces the cookies by those of cookies.txt text, read as libcurl reads such a file: comments,
    // broken and expired lines are left out. keep: whether answers' cookies join the jar.
    void setText(const QByteArray& text, bool keep);
    // The jar as cookies.txt text; empty when it holds no cookie.
    QByteArray text() const;
    const QList<QByteArray>& lines() const { return m_lines; }
    quint64 version() const { return m_version; }
    bool keeping() const { return m_keeping; }
    // Takes the cookies as an answer left them, when answers' cookies are kept.
    void commit(QList<QByteArray> lines);

private:
    QList<QByteArray> m_lines;
    quint64 m_version = 0;
    bool m_keeping = false;
};
