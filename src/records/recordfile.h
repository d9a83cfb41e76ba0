#pragma once
// Record files as lines of text in the code page, each ended by CR LF. Characters the code page
// cannot carry are written as "&#x<hex>;" references, which the record readers undo.
// Each call opens, writes or reads, and closes its file, unless it appends through AppendFiles.

#include "platform/filesystem.h"

#include <QString>
#include <QStringList>
#include <optional>

QByteArray EncodeRecordLines(const QStringList& lines);
// Lines split at LF with a CR before it removed; a final line end adds no empty line.
QStringList DecodeRecordLines(const QByteArray& bytes);

// nullopt when the file cannot be opened.
std::optional<QStringList> ReadRecordLines(const QString& path);
// Reads the first count lines at most (a work-list take needs only the lines up to its record).
std::optional<QStringList> ReadFirstRecordLines(const QString& path, qsizetype count);
IoStatus AppendRecordLines(const QString& path, const QStringList& lines);
// The lines in one write to the file kept open in files.
IoStatus AppendRecordLines(AppendFiles& files, const QString& path, const QStringList& lines);
// Replaces the whole file atomically: a killed process leaves the old or the new content.
IoStatus ReplaceRecordFile(const QString& path, const QStringList& lines, FileAccess access = FileAccess::Shared);
