#pragma once
// What a site's robots.txt allows one crawler, read as RFC 9309 says: the groups naming the
// crawler's product token are combined (else those for "*"); the matching rule with the longest
// pattern decides, Allow winning a tie; "*" in a pattern matches any run of characters and a final
// "$" the end of the path. A path and a pattern are compared with the same percent-encoding.
// Crawl-delay, which the RFC leaves out, is taken from the same groups.
//   const RobotsRules rules = RobotsRules::parse("User-agent: *\nDisallow: /private/\n", u"Fetchwright"_s);
//   rules.allows(u"/private/a.gif"_s);  // false
//   rules.allows(u"/index.html"_s);     // true

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class RobotsRules {
public:
    // A site without rules, or whose robots.txt is not there (4xx): everything is allowed.
    RobotsRules() = default;
    // A site whose robots.txt could not be had (5xx, unreachable): nothing is allowed.
    static RobotsRules allowingNothing();
    static RobotsRules parse(const QByteArray& text, const QString& productToken);

    // pathAndQuery: the address's path with its query, as RobotsPathOf gives it.
    bool allows(const QString& pathAndQuery) const;
    // The Crawl-delay in milliseconds; -1 when none is given.
    int crawlDelayMs() const { return m_crawlDelayMs; }
    // The addresses of its Sitemap lines, in order; they belong to no group.
    const QStringList& sitemaps() const { return m_sitemaps; }

private:
    struct Rule {
        QByteArray pattern; // percent-encoded as paths are compared
        bool allow = false;
        QList<QByteArray> pieces; // the pattern split at "*", a final "$" left out
        bool anchored = false; // it ended in "$"
    };
    // Splits each pattern once and files it under its literal start, so a check looks only at the
    // rules whose start the path begins with: a site of thousands of rules checks in microseconds.
    void prepare();
    bool matches(const Rule& rule, const QByteArray& path) const;

    QList<Rule> m_rules;
    QHash<QByteArray, QList<qsizetype>> m_byStart; // rules by their literal start
    QList<qsizetype> m_startLengths; // the lengths of those starts, each once
    bool m_nothing = false;
    int m_crawlDelayMs = -1;
    QStringList m_sitemaps;
};

// The path and query of an address ("/" when it has no path), its fragment left out.
QString RobotsPathOf(const QString& address);
