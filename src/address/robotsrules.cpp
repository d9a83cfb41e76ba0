#include "address/robotsrules.h"

#include "address/addressfunctions.h"

#include <algorithm>
#include <cctype>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

// One spelling for paths and patterns: octets beyond ASCII percent-encoded, an encoded unreserved
// character decoded, every other escape in upper case.
QByteArray comparable(const QByteArray& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const int high = i + 2 < text.size() ? HexDigitValue(uchar(text[i + 1])) : -1;
        const int low = i + 2 < text.size() ? HexDigitValue(uchar(text[i + 2])) : -1;
        if (c == '%' && high >= 0 && low >= 0) {
            const char decoded = char(high * 16 + low);
            out += isUnreserved(decoded) ? QByteArray(1, decoded) : text.mid(i, 3).toUpper();
            i += 2;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            out += '%' + QByteArray::number(static_cast<unsigned char>(c), 16).toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

// The product token a User-agent line names: its leading letters, "_" and "-".
QByteArray tokenOf(const QByteArray& value)
{
    qsizetype end = 0;
    while (end < value.size()
        && (std::isalpha(static_cast<unsigned char>(value[end])) || value[end] == '_' || value[end] == '-'))
        ++end;
    return end == 0 ? value.left(1) : value.left(end).toLower();
}

} // namespace

RobotsRules RobotsRules::allowingNothing()
{
    RobotsRules rules;
    rules.m_nothing = true;
    return rules;
}

RobotsRules RobotsRules::parse(const QByteArray& text, const QString& productToken)
{
    const QByteArray ours = productToken.toLatin1().toLower();
    RobotsRules mine;
    RobotsRules anyone;
    bool foundMine = false;
    bool foundAnyone = false;
    bool forMine = false;
    bool forAnyone = false;
    bool inRules = false; // a rule has followed the group's User-agent lines
    QStringList sitemaps;
    QByteArray body = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    body.replace('\r', '\n');
    for (QByteArray line : body.split('\n')) {
        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray key = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (key == "sitemap") {
            if (!value.isEmpty())
                sitemaps.append(QString::fromUtf8(value));
            continue;
        }
        if (key == "user-agent") {
            if (inRules)
                forMine = forAnyone = inRules = false;
            const QByteArray token = tokenOf(value);
            forMine = forMine || token == ours;
            forAnyone = forAnyone || token == "*";
            foundMine = foundMine || token == ours;
            foundAnyone = foundAnyone || token == "*";
            continue;
        }
        const bool allow = key == "allow";
        const bool delay = key == "crawl-delay";
        if (!allow && key != "disallow" && !delay)
            continue;
        inRules = true;
        for (RobotsRules* rules : { forMine ? &mine : nullptr, forAnyone ? &anyone : nullptr }) {
            if (!rules)
                continue;
            bool number = false;
            const double seconds = value.toDouble(&number);
            if (delay && number && seconds >= 0 && rules->m_crawlDelayMs < 0)
                rules->m_crawlDelayMs = int(std::lround(std::min(seconds, 3600.0) * 1000));
            else if (!delay && !value.isEmpty())
                rules->m_rules.append({ comparable(value), allow });
        }
    }
    RobotsRules& taken = foundMine ? mine : anyone;
    if (!foundMine && !foundAnyone)
        taken = RobotsRules();
    taken.prepare();
    taken.m_sitemaps = sitemaps;
    return taken;
}

void RobotsRules::prepare()
{
    m_byStart.clear();
    m_startLengths.clear();
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        Rule& rule = m_rules[i];
        QByteArray pattern = rule.pattern;
        rule.anchored = pattern.endsWith('$');
        if (rule.anchored)
            pattern.chop(1);
        rule.pieces = pattern.split('*');
        const QByteArray& start = rule.pieces.first();
        m_byStart[start].append(i);
        if (!m_startLengths.contains(start.size()))
            m_startLengths.append(start.size());
    }
}

bool RobotsRules::matches(const Rule& rule, const QByteArray& path) const
{
    const QList<QByteArray>& pieces = rule.pieces;
    if (pieces.size() == 1)
        return !rule.anchored || path.size() == pieces.first().size();
    qsizetype at = pieces.first().size();
    for (qsizetype i = 1; i + 1 < pieces.size(); ++i) {
        const qsizetype found = path.indexOf(pieces[i], at);
        if (found < 0)
            return false;
        at = found + pieces[i].size();
    }
    const QByteArray& last = pieces.last();
    return rule.anchored ? path.size() - last.size() >= at && path.endsWith(last) : path.indexOf(last, at) >= 0;
}

bool RobotsRules::allows(const QString& pathAndQuery) const
{
    if (pathAndQuery == u"/robots.txt"_s)
        return true;
    if (m_nothing)
        return false;
    const QByteArray path = comparable(pathAndQuery.toUtf8());
    const Rule* best = nullptr;
    // Only rules whose literal start the path begins with can match it.
    for (const qsizetype length : m_startLengths) {
        if (length > path.size())
            continue;
        const auto filed = m_byStart.constFind(QByteArray::fromRawData(path.constData(), length));
        if (filed == m_byStart.cend())
            continue;
        for (const qsizetype index : *filed) {
            const Rule& rule = m_rules[index];
            if (!matches(rule, path))
                continue;
            if (!best || rule.pattern.size() > best->pattern.size()
                || (rule.pattern.size() == best->pattern.size() && rule.allow))
                best = &rule;
        }
    }
    return !best || best->allow;
}

QString RobotsPathOf(const QString& address)
{
    const qsizetype scheme = address.indexOf(u"://"_s);
    const qsizetype path = address.indexOf(u'/', scheme < 0 ? 0 : scheme + 3);
    if (path < 0)
        return u"/"_s;
    const qsizetype fragment = address.indexOf(u'#', path);
    return address.mid(path, fragment < 0 ? -1 : fragment - path);
}
