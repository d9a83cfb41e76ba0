// The link cutter against a plain rendering of its rule that searches the text afresh for every
// value: both must cut the same values, with the same base flags, in the same order.

#include "crawl/linkcutter.h"

#include "fuzzsupport.h"

#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Attribute {
    QString name;
    QStringList tags; // empty: anywhere
};

const std::vector<Attribute>& attributes()
{
    static const std::vector<Attribute> rows {
        { u"href="_s, { u"<base"_s, u"<a"_s, u"<area"_s, u"<link"_s } },
        { u"src="_s, {} },
        { u"value="_s, { u"<param"_s } },
        { u"url="_s, {} },
    };
    return rows;
}

qsizetype firstOf(const QString& text, const QString& characters, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i)
        if (characters.contains(text[i]))
            return i;
    return -1;
}

std::vector<CutLink> referenceCut(const QString& text)
{
    QString lower = text;
    for (QChar& c : lower)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);

    std::vector<CutLink> links;
    qsizetype floor = 0;
    while (true) {
        // The attribute that occurs first in what is left.
        qsizetype found = -1;
        const Attribute* attribute = nullptr;
        for (const Attribute& row : attributes()) {
            const qsizetype at = lower.indexOf(row.name, floor);
            if (at >= 0 && (found < 0 || at < found)) {
                found = at;
                attribute = &row;
            }
        }
        if (!attribute)
            return links;
        qsizetype position = found + attribute->name.size();

        // A tagged attribute counts when its tag opens after the last ">" before it.
        bool isBase = false;
        if (!attribute->tags.isEmpty()) {
            const QString window = lower.mid(floor, position - floor + 1);
            bool qualified = false;
            for (qsizetype t = 0; t < attribute->tags.size() && !qualified; ++t) {
                const qsizetype tagAt = window.lastIndexOf(attribute->tags[t]);
                if (tagAt >= 0 && tagAt > window.lastIndexOf(u'>')) {
                    qualified = true;
                    isBase = t == 0 && attribute == &attributes().front();
                }
            }
            if (!qualified) {
                floor = position;
                continue;
            }
        }

        const qsizetype quote = firstOf(lower, u"\"'"_s, position);
        const qsizetype greater = firstOf(lower, u">"_s, position);
        const qsizetype equals = firstOf(lower, u"="_s, position);
        if (quote >= 0 && (greater < 0 || quote < greater) && (equals < 0 || quote < equals))
            position = quote + 1;
        if (position >= text.size())
            return links;
        const qsizetype end = firstOf(lower, u"\"'> "_s, position);
        if (end < 0) {
            links.push_back({ QString(), isBase });
            return links;
        }
        links.push_back({ text.mid(position, end - position), isBase });
        floor = end;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString page = FuzzedText(data, size);
    const std::vector<CutLink> expected = referenceCut(page);

    LinkCutter cutter(page);
    size_t count = 0;
    while (const std::optional<CutLink> link = cutter.next()) {
        FUZZ_CHECK(count < expected.size(), u"an extra value: "_s + link->value);
        FUZZ_CHECK(link->value == expected[count].value, link->value + u" instead of "_s + expected[count].value);
        FUZZ_CHECK(link->isBase == expected[count].isBase, link->value);
        // A value never spans a delimiter.
        FUZZ_CHECK(firstOf(link->value, u"\"'> "_s, 0) < 0, link->value);
        ++count;
    }
    FUZZ_CHECK(count == expected.size(), u"missing values after "_s + QString::number(count));
    return 0;
}
