#pragma once
// Which files a crawl saves: an extension list, names that must occur, names that must not, and
// two size limits. Lists come from ";"-separated settings and may hold [n-m] ranges:
//   ".gif;.JPG;img[8-12]"  ->  gif, jpg, img[8-12], 08, 09, 10, 11, 12
// The range entry stays as literal text; the generated numbers then match any name containing them.

#include <QString>
#include <QStringList>

// Splits a list setting at ";", keeping empty pieces (an empty setting gives an empty list).
QStringList SplitFilterSetting(const QString& setting);
// Lower-cases entries, drops one leading ".", and appends the numbers of [n-m] ranges.
void ExpandNamePatterns(QStringList& list);
// localPath: where the file would be written; name: its cleaned name (see MapLocalPath).
bool PassesFileFilters(const QString& localPath, const QString& name, const QStringList& extensions,
    const QStringList& include, const QStringList& exclude);

// Size rules; size is the announced length, -1 when none was given, and 0 limits mean none.
// At link detection a file without a size always passes.
bool PassesSizeAtDetection(qint64 size, qint64 maxSize, qint64 minSize);
// At download a file without a size passes the maximum but fails any minimum.
bool PassesSizeAtDownload(qint64 size, qint64 maxSize, qint64 minSize);
