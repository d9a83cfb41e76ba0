#pragma once
// The previews of list entries, chosen by the end of the lower-cased local path: an image line for
// every image extension that matches, or a frame for the first document extension that matches.
// A frame is sandboxed, so a downloaded page shown there runs none of its scripts.

#include <QString>
#include <QStringList>

// Whether ext matches path: it occurs in the lower-cased path within its last (length of ext + 1)
// characters.
bool ExtensionMatches(const QString& path, const QString& ext);
QStringList ImagePreviewLines(const QString& path, const QStringList& imageExts, const QString& suffix = {});
QStringList DocumentPreviewLines(const QString& path);
QStringList MoviePreviewLines(const QString& path);
QStringList FlashPreviewLines(const QString& path);
QStringList DirectorPreviewLines(const QString& path);
