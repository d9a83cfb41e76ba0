#pragma once
// A download is written under a temporary name in its own folder and takes its real name only when
// it has fully arrived, so a file being replaced is swapped in one rename and a failed, stopped or
// killed download never leaves a partial file under the real name:
//   /data/H/img/a.gif is written as /data/H/img/.fetchwright-<16 hex>.part, then renamed.
// The temporary name depends on the real path only, so a resumed run finds it again. No file of a
// site is given a name of that form (see MapLocalPath), so none is taken for a temporary file.

#include "platform/filesystem.h"

#include <QString>

QString PartFilePath(const QString& localPath);
// Whether fileName has the form of a temporary file's name, letters in either case.
bool IsPartFileName(const QString& fileName);
// Creates the folders and an empty temporary file for localPath, or empties an existing one.
IoStatus StartPartFile(const QString& localPath);
// Renames the temporary file to localPath, replacing a file there unless it is read-only. A
// temporary file that is missing fails: something removed it, and what it held is unknown.
IoStatus CommitPartFile(const QString& localPath);
// Removes the temporary file of localPath, if any.
void DiscardPartFile(const QString& localPath);
bool PartFileExists(const QString& localPath);
