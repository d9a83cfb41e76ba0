#pragma once
// Where the user's folders are when the user names none, or only part of one. On Linux a relative
// folder is taken from the home folder, as a shell user expects, and the program never moves its
// current folder; on Windows start-up makes the program's folder current and relative folders
// are taken from there.
//   ResolveUserFolder(u"relsave/"_s)   ->  "/home/ann/relsave/"
//   ResolveUserFolder(u"/srv/save"_s)  ->  "/srv/save"

#include <QString>

// The folder a relative folder is taken from.
QString UserFolderBase();
// Settles that folder at start-up, before anything is resolved against it: on Windows the
// program's own folder becomes the current folder, unless the program was started from a network
// path, which keeps the one it was given; elsewhere the current folder is left alone.
void SettleUserFolderBase();
// path made absolute against UserFolderBase(), in native separators; "" stays "".
QString ResolveUserFolder(const QString& path);
// The save folder offered before one is stored: the user's download folder when it exists, else
// the home folder; "" on Windows, where the folder picker's own folder is shown.
QString DefaultSaveFolder();
