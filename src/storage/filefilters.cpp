#include "storage/filefilters.h"

#include "platform/filesystem.h"

using namespace Qt::StringLiterals;

namespace {

// Ranges larger than this are cut short: a typo such as [0-999999999] must not exhaust memory.
constexpr qint64 MaxRangeEntries = 100000;

bool parseBound(QStringView text, qint64& value)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (!c.isDigit() || c.unicode() > 0x7F)
            return false;
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok;
}

QString lastSegment(const QString& path)
{
    qsizetype at = path.size();
    while (at > 0 && !IsFolderSeparator(path[at - 1]))
        --at;
    return path.mid(at);
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
    const qsizetype original = list.size();
    for (qsizetype i = 0; i < original; ++i) {
        QString entry = list[i];
        if (entry.startsWith(u'.'))
            entry.remove(0, 1);
        entry = entry.toLower();
        list[i] = entry;

        const qsizetype open = entry.indexOf(u'[');
        const qsizetype dash = entry.indexOf(u'-');
        const qsizetype close = entry.indexOf(u']');
        if (open < 0 || dash < 0 || close < 0 || !(open < dash && dash < close))
            continue;
        const QStringView lowerText = QStringView(entry).mid(open + 1, dash - open - 1);
        const QStringView upperText = QStringView(entry).mid(dash + 1, close - dash - 1);
        qint64 lower = 0;
        qint64 upper = 0;
        if (!parseBound(lowerText, lower) || !parseBound(upperText, upper) || lower > upper)
            continue;
        const int width = int(upperText.size());
        upper = qMin(upper, lower + MaxRangeEntries - 1);
        for (qint64 n = lower; n <= upper; ++n)
            list.append(u"%1"_s.arg(n, width, 10, QChar(u'0')));
    }
}

bool PassesFileFilters(const QString& localPath, const QString& name, const QStringList& extensions,
    const QStringList& include, const QStringList& exclude)
{
    if (!extensions.isEmpty()) {
        const QString extension = lastSegment(localPath).split(u'.').last().toLower();
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
