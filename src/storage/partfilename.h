#pragma once
// The name a download is written under until it has fully arrived (see partfile.h):
//   /data/H/img/a.gif is written as /data/H/img/.fetchwright-<16 hex>.part
// It depends on the real path only, so a resumed run finds it again. No file of a site is given a
// name of that form (see MapLocalPath), so none is taken for a temporary file.

#include <QString>

QString PartFilePath(const QString& localPath);
// Whether fileName has the form of a temporary file's name, letters in either case.
bool IsPartFileName(const QString& fileName);
