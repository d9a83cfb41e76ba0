#pragma once
// Which files a crawl saves: an extension list, names that must occur, names that must not, and
// two size limits. Lists come from ";"-separated settings and may hold [n-m] ranges:
//   ".gif;.JPG;img[8-12]"  ->  gif, jpg, img[8-12], 08, 09, 10, 11, 12
// The range entry stays as literal text; the generated numbers then match any name containing them.

#include <QString>
#include <QStringList>

// Limits of the [n-m] notation, so that a typo cannot exhaust memory: a bound has at most
// MaxRangeDigits digits (a longer one is no range), a range gives at most MaxRangeEntries numbers
// and one list's ranges at most MaxExpandedCharacters characters; a range past these is cut short.
inline constexpr qsizetype MaxRangeDigits = 18;
inline constexpr qint64 MaxRangeEntries = 100000;
inline constexpr qint64 MaxExpandedCharacters = 2000000;
// What the crawl options dialog and the command line answer to a list that passes a limit.
inline const QString RangeTooLargeMessage = QStringLiteral("[数-数]の範囲が大きすぎます｡範囲を狭めて下さい");

// Splits a list setting at ";", keeping empty pieces (an empty setting gives an empty list).
QStringList SplitFilterSetting(const QString& setting);
// Lower-cases entries, drops one leading ".", and appends the numbers of [n-m] ranges.
void ExpandNamePatterns(QStringList& list);
// True when a list setting holds a range that passes the limits above.
bool NamePatternsTooLarge(const QString& setting);
// localPath: where the file would be written; name: its cleaned name (see MapLocalPath).
bool PassesFileFilters(const QString& localPath, const QString& name, const QStringList& extensions,
    const QStringList& include, const QStringList& exclude);

// Size rules; size is the announced length, -1 when none was given, and 0 limits mean none.
// At link detection a file without a size always passes.
bool PassesSizeAtDetection(qint64 size, qint64 maxSize, qint64 minSize);
// At download a file without a size passes the maximum but fails any minimum.
bool PassesSizeAtDownload(qint64 size, qint64 maxSize, qint64 minSize);
