#pragma once
// A download is written under a temporary name in its own folder and takes its real name only when
// it has fully arrived, so a file being replaced is swapped in one rename and a failed, stopped or
// killed download never leaves a partial file under the real name. The temporary name is
// partfilename's.

#include "platform/filesystem.h"
#include "storage/partfilename.h"

#include <QString>

// Creates the folders and an empty temporary file for localPath, or empties an existing one.
IoStatus StartPartFile(const QString& localPath);
// Renames the temporary file to localPath, replacing a file there unless it is read-only. A
// temporary file that is missing fails: something removed it, and what it held is unknown.
IoStatus CommitPartFile(const QString& localPath);
// Removes the temporary file of localPath, if any.
void DiscardPartFile(const QString& localPath);
bool PartFileExists(const QString& localPath);
