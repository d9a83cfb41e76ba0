#include "storage/filefilters.h"

#include "platform/filesystem.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct NameRange {
    qint64 lower = 0;
    qint64 count = 0;
    qsizetype width = 0;
};

bool isDecimal(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (!c.isDigit() || c.unicode() > 0x7F)
            return false;
    return true;
}

// The [n-m] range of a normalised entry, its count cut to MaxRangeEntries.
std::optional<NameRange> rangeOf(QStringView entry, bool& tooLarge)
{
    const qsizetype open = entry.indexOf(u'[');
    const qsizetype dash = entry.indexOf(u'-');
    const qsizetype close = entry.indexOf(u']');
    if (open < 0 || dash < 0 || close < 0 || !(open < dash && dash < close))
        return std::nullopt;
    const QStringView lowerText = entry.mid(open + 1, dash - open - 1);
    const QStringView upperText = entry.mid(dash + 1, close - dash - 1);
    if (!isDecimal(lowerText) || !isDecimal(upperText))
        return std::nullopt;
    // Longer bounds are refused rather than read, so that sums of bounds cannot overflow.
    if (lowerText.size() > MaxRangeDigits || upperText.size() > MaxRangeDigits) {
        tooLarge = true;
        return std::nullopt;
    }
    const qint64 lower = lowerText.toLongLong();
    const qint64 upper = upperText.toLongLong();
    if (lower > upper)
        return std::nullopt;
    NameRange range { lower, upper - lower + 1, upperText.size() };
    if (range.count > MaxRangeEntries) {
        tooLarge = true;
        range.count = MaxRangeEntries;
    }
    return range;
}

// Normalises the entries and, when append is set, appends the numbers of their ranges. Returns
// true when a range passed a limit.
bool expandList(QStringList& list, bool append)
{
    bool tooLarge = false;
    qint64 characters = 0;
    const qsizetype original = list.size();
    for (qsizetype i = 0; i < original; ++i) {
        QString entry = list[i];
        if (entry.startsWith(u'.'))
            entry.remove(0, 1);
        entry = entry.toLower();
        list[i] = entry;

        std::optional<NameRange> range = rangeOf(entry, tooLarge);
        if (!range)
            continue;
        const qint64 room = (MaxExpandedCharacters - characters) / range->width;
        if (range->count > room) {
            tooLarge = true;
            range->count = room;
        }
        characters += range->count * range->width;
        if (!append)
            continue;
        for (qint64 n = range->lower; n < range->lower + range->count; ++n)
            list.append(u"%1"_s.arg(n, int(range->width), 10, QChar(u'0')));
    }
    return tooLarge;
}

} // namespace

QStringList SplitFilterSetting(const QString& setting)
{
    if (setting.isEmpty())
        return {};
    return setting.split(u';');
}

void ExpandNamePatterns(QStringList& list)
{
    expandList(list, true);
}

bool NamePatternsTooLarge(const QString& setting)
{
    QStringList list = SplitFilterSetting(setting);
    return expandList(list, false);
}

bool PassesFileFilters(const QString& localPath, const QString& name, const QStringList& extensions,
    const QStringList& include, const QStringList& exclude)
{
    if (!extensions.isEmpty()) {
        const QString extension = LastPathSegment(localPath).split(u'.').last().toLower();
        if (extension.isEmpty() || !extensions.contains(extension))
            return false;
    }
    const QString lowered = name.toLower();
    if (!include.isEmpty()) {
        bool found = false;
        for (const QString& entry : include)
            if (lowered.contains(entry)) {
                found = true;
                break;
            }
        if (!found)
            return false;
    }
    for (const QString& entry : exclude)
        if (lowered.contains(entry))
            return false;
    return true;
}

bool PassesSizeAtDetection(qint64 size, qint64 maxSize, qint64 minSize)
{
    if (maxSize != 0 && size != -1 && size > maxSize)
        return false;
    if (minSize != 0 && size != -1 && size < minSize)
        return false;
    return true;
}

bool PassesSizeAtDownload(qint64 size, qint64 maxSize, qint64 minSize)
{
    if (maxSize != 0 && size > maxSize)
        return false;
    if (minSize != 0 && size < minSize)
        return false;
    return true;
}
