// The file filters against their rule written out plainly: list settings expand to exactly the
// numbers of their [n-m] ranges unless a limit is passed, never beyond the limits, and a file
// passes the filters and size rules exactly when the rule says so.

#include "storage/filefilters.h"

#include "fuzzsupport.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The numbers a normalised entry's range gives, or nullopt past maxCharacters characters.
std::optional<QStringList> referenceNumbers(const QString& entry, qint64 maxCharacters)
{
    const qsizetype open = entry.indexOf(u'[');
    const qsizetype dash = entry.indexOf(u'-');
    const qsizetype close = entry.indexOf(u']');
    if (open < 0 || dash < 0 || close < 0 || !(open < dash && dash < close))
        return QStringList();
    const QString lowerText = entry.mid(open + 1, dash - open - 1);
    const QString upperText = entry.mid(dash + 1, close - dash - 1);
    const auto digitsOnly = [](const QString& text) {
        if (text.isEmpty())
            return false;
        for (QChar c : text)
            if (c < u'0' || c > u'9')
                return false;
        return true;
    };
    if (!digitsOnly(lowerText) || !digitsOnly(upperText))
        return QStringList();
    if (lowerText.size() > MaxRangeDigits || upperText.size() > MaxRangeDigits)
        return std::nullopt;
    const qint64 lower = lowerText.toLongLong();
    const qint64 upper = upperText.toLongLong();
    QStringList numbers;
    qint64 characters = 0;
    for (qint64 n = lower; n <= upper; ++n) {
        characters += upperText.size();
        if (characters > maxCharacters)
            return std::nullopt;
        numbers.append(QString::number(n).rightJustified(upperText.size(), u'0'));
        if (numbers.size() > MaxRangeEntries)
            break;
    }
    return numbers;
}

void expansion(FuzzedDataProvider& data)
{
    const QString setting = FuzzedText(data, 256);
    const QStringList original = SplitFilterSetting(setting);
    QStringList list = original;
    ExpandNamePatterns(list);
    FUZZ_CHECK(list.size() >= original.size(), setting);

    qint64 generated = 0;
    for (qsizetype i = original.size(); i < list.size(); ++i)
        generated += list[i].size();
    FUZZ_CHECK(generated <= MaxExpandedCharacters, setting);

    // The normalised entries, then every range's numbers when no limit is passed.
    QStringList expected;
    for (QString entry : original) {
        if (entry.startsWith(u'.'))
            entry.remove(0, 1);
        expected.append(entry.toLower());
    }
    FUZZ_CHECK(list.mid(0, original.size()) == expected, setting);
    bool complete = true;
    qint64 budget = MaxExpandedCharacters;
    const QStringList normalised = expected;
    for (const QString& entry : normalised) {
        const std::optional<QStringList> numbers = referenceNumbers(entry, budget);
        if (!numbers || numbers->size() > MaxRangeEntries) {
            complete = false;
            break;
        }
        for (const QString& number : *numbers)
            budget -= number.size();
        expected += *numbers;
    }
    FUZZ_CHECK(NamePatternsTooLarge(setting) == !complete, setting);
    if (complete)
        FUZZ_CHECK(list == expected, setting);
}

QString lastSegment(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

void filters(FuzzedDataProvider& data)
{
    QStringList lists[3];
    for (QStringList& list : lists) {
        list = SplitFilterSetting(FuzzedText(data, 48));
        ExpandNamePatterns(list);
    }
    const QString path = FuzzedText(data, 64);
    const QString name = FuzzedText(data, 32);

    bool passes = true;
    if (!lists[0].isEmpty()) {
        const QString extension = lastSegment(path).split(u'.').last().toLower();
        passes = !extension.isEmpty() && lists[0].contains(extension);
    }
    const QString lowered = name.toLower();
    if (passes && !lists[1].isEmpty()) {
        passes = false;
        for (const QString& entry : lists[1])
            passes = passes || lowered.contains(entry);
    }
    for (const QString& entry : lists[2])
        passes = passes && !lowered.contains(entry);
    FUZZ_CHECK(PassesFileFilters(path, name, lists[0], lists[1], lists[2]) == passes, path + u" / "_s + name);

    const qint64 fileSize = data.ConsumeBool() ? -1 : data.ConsumeIntegral<qint64>();
    const qint64 maxSize = data.ConsumeBool() ? 0 : data.ConsumeIntegral<qint64>();
    const qint64 minSize = data.ConsumeBool() ? 0 : data.ConsumeIntegral<qint64>();
    const bool known = fileSize != -1;
    FUZZ_CHECK(PassesSizeAtDetection(fileSize, maxSize, minSize)
            == !((maxSize != 0 && known && fileSize > maxSize) || (minSize != 0 && known && fileSize < minSize)),
        QString::number(fileSize));
    FUZZ_CHECK(PassesSizeAtDownload(fileSize, maxSize, minSize)
            == !((maxSize != 0 && fileSize > maxSize) || (minSize != 0 && fileSize < minSize)),
        QString::number(fileSize));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    if (data.ConsumeBool())
        expansion(data);
    else
        filters(data);
    return 0;
}
