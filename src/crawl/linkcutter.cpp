#include "crawl/linkcutter.h"

using namespace Qt::StringLiterals;

namespace {

struct Row {
    const char16_t* attribute;
    std::array<const char16_t*, 4> tags; // checked in this order; empty for "anywhere"
};

constexpr Row Rows[] = {
    { u"href=", { u"<base", u"<a", u"<area", u"<link" } },
    { u"src=", { nullptr, nullptr, nullptr, nullptr } },
    { u"value=", { u"<param", nullptr, nullptr, nullptr } },
    { u"url=", { nullptr, nullptr, nullptr, nullptr } },
};

// Cache slots: 0-3 the attributes, then the single-character delimiters.
enum Slot { DoubleQuote = 4, SingleQuote = 5, Greater = 6, Equals = 7, Blank = 8 };

QString asciiLower(const QString& text)
{
    QString lower = text;
    for (QChar& c : lower)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return lower;
}

qsizetype nearest(qsizetype a, qsizetype b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return qMin(a, b);
}

} // namespace

LinkCutter::LinkCutter(const QString& text)
    : m_text(text)
    , m_lower(asciiLower(text))
{
    m_cache.fill(-2);
}

qsizetype LinkCutter::nextOf(int slot, QStringView needle, qsizetype from)
{
    qsizetype& cached = m_cache[size_t(slot)];
    if (cached == -1)
        return -1;
    if (cached < from)
        cached = m_lower.indexOf(needle, from);
    return cached;
}

qsizetype LinkCutter::nextDelimiter(int slot, qsizetype from)
{
    static constexpr char16_t characters[] = { u'"', u'\'', u'>', u'=', u' ' };
    const char16_t c = characters[slot - DoubleQuote];
    return nextOf(slot, QStringView(&c, 1), from);
}

bool LinkCutter::tagQualifies(QStringView tag, qsizetype position) const
{
    // The tag must open after the last ">" before the attribute, within the unconsumed text.
    const QStringView window = QStringView(m_lower).mid(m_floor, position - m_floor + 1);
    const qsizetype greater = window.lastIndexOf(u'>');
    const qsizetype tagAt = window.lastIndexOf(tag);
    return tagAt >= 0 && tagAt > greater;
}

std::optional<CutLink> LinkCutter::next()
{
    while (true) {
        int row = -1;
        qsizetype found = -1;
        for (int r = 0; r < 4; ++r) {
            const qsizetype at = nextOf(r, QStringView(Rows[r].attribute), m_floor);
            if (at >= 0 && (found < 0 || at < found)) {
                found = at;
                row = r;
            }
        }
        if (row < 0)
            return std::nullopt;
        qsizetype position = found + QStringView(Rows[row].attribute).size();

        bool isBase = false;
        if (Rows[row].tags[0]) {
            bool qualified = false;
            for (size_t t = 0; t < Rows[row].tags.size() && Rows[row].tags[t]; ++t) {
                if (tagQualifies(QStringView(Rows[row].tags[t]), position)) {
                    qualified = true;
                    isBase = t == 0 && row == 0;
                    break;
                }
            }
            if (!qualified) {
                m_floor = position;
                continue;
            }
        }

        const qsizetype quote = nearest(nextDelimiter(DoubleQuote, position), nextDelimiter(SingleQuote, position));
        if (quote >= 0) {
            const qsizetype greater = nextDelimiter(Greater, position);
            const qsizetype equals = nextDelimiter(Equals, position);
            if ((greater < 0 || quote < greater) && (equals < 0 || quote < equals))
                position = quote + 1;
        }
        if (position >= m_text.size())
            return std::nullopt;

        const qsizetype end
            = nearest(nearest(nextDelimiter(DoubleQuote, position), nextDelimiter(SingleQuote, position)),
                nearest(nextDelimiter(Greater, position), nextDelimiter(Blank, position)));
        if (end < 0) {
            m_floor = m_text.size();
            return CutLink { QString(), isBase, position };
        }
        m_floor = end;
        return CutLink { m_text.mid(position, end - position), isBase, position };
    }
}
