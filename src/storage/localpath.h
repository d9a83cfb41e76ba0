#pragma once
// Where a downloaded file lands: SiteDir, the address's directories (a folder per host for other
// hosts' files) and the cleaned file name, with the same-name rules deciding between skipping,
// overwriting and numbering. Example, a crawl of host H saved under /data/H:
//   http://H/a/b c.gif               -> /data/H/a/b.c.gif
//   http://H/a/b/                    -> /data/H/a/b/bｽﾗｯｼｭﾄｯﾌﾟ.html
//   http://K:81/x/y.gif (filed as K) -> /data/H/http：／／K.81/x/y.gif
//   http://H/%E5%86%99%E7%9C%9F/a%20b.gif -> /data/H/写真/a.b.gif
// Folder segments and the file name are percent-decoded (see DecodeLocalName) before cleaning.
// No path leaves SiteDir: "." and ".." directories are resolved within it, and a name made only of
// dots (also one that decoding made) is written with full-width dots, and so is the first dot of a
// file name that has the form of a temporary file's (see partfile.h).

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

inline const QString DefaultPageSuffix = QStringLiteral("ｽﾗｯｼｭﾄｯﾌﾟ.html");
inline const QString ForeignHostPrefix = QStringLiteral("/http：／／");
// Longest file or folder name written, in UTF-8 bytes: what Linux file systems allow, and within
// the 255 UTF-16 units of Windows, so a crawl's tree is the same on both.
inline constexpr qsizetype MaxNameBytes = 255;

// What a crawl learnt of its tree's folders as it mapped its addresses, so that none is worked out
// or looked at again: the cleaned folder part of each address folder, the folders found on disk
// with their names as spelt there (the crawl never removes a folder, so one found stays), and the
// folders below the tree's first level found missing, until the crawl makes a file on their way.
// Emptied as a crawl starts; each table starts again beyond Most entries.
struct KnownFolders {
    struct Folder {
        QString cleaned; // the folder part, before placing
        QString placed; // as placed, once every folder of it stands on disk
    };
    QHash<QString, Folder> folders; // "filedUnder\ndirectory path" -> the address folder's
    QHash<QString, QString> onDisk; // a folder's path -> its name on disk
    QSet<QString> missing; // folders' paths
    static constexpr qsizetype Most = 4096; // some 4 MB at most, with paths of 100 characters

    template <typename Value>
    typename QHash<QString, Value>::iterator keep(QHash<QString, Value>& table, const QString& key, const Value& value)
    {
        if (table.size() >= Most)
            table.clear();
        return table.insert(key, value);
    }
    // The crawl made a file at path: a folder of its name, or on its way, is looked at again (the
    // folders the file's own were made for, and one that a file of its name now stands in the way of).
    void madeFile(const QString& path);
};

struct LocalTree {
    QString siteDir; // the crawl's root folder, no trailing separator
    QString topRoot; // scheme://host/ of the top address
    bool noDirTree = false; // every file directly in siteDir
    bool skipSameName = true; // an existing file within 1 byte of the expected size is not fetched again
    bool numberDuplicates = true; // an existing file is kept and the new one numbered name_0.ext
    // Names the crawl's own files take directly in siteDir; a site's file of such a name is saved
    // with its first character set aside (full-width, or "＿" before it). None: no name is kept.
    bool (*ownName)(const QString& name) = nullptr;
    KnownFolders* folders = nullptr; // where found folders are kept; none: every folder is looked at
};

// address: the file's address; filedUnder: the root (scheme://host/) of the host it is filed under.
// name: in, the address's last segment; out, the cleaned name that the file filters test.
// Returns the path to write, or "" when the file is not to be saved. Never deletes anything: a file
// to be overwritten stays until its replacement has arrived.
QString MapLocalPath(
    const LocalTree& tree, QString& name, const QString& address, const QString& filedUnder, qint64 expectedSize);

// The file-name rule: < > [ ] / , \ blank = $ & : ? " * | and controls become "."; a name of dots
// only gets full-width dots, a final dot becomes full-width, and a name Windows keeps for a device
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension, in any case) gets a full-width first
// letter: "con.html" -> "ｃon.html". Used for file names, folder names and host names alike.
QString CleanNameSegment(const QString& segment);
// Whether name (before its first dot) is one of the device names Windows keeps.
bool IsDeviceName(const QString& name);
// A name longer than MaxNameBytes shortened to fit, keeping its extension and made unique by a
// hash of the whole name: "<start of stem>~<8 hex>.<ext>".
QString FitNameLength(const QString& name);
// The numbered form of a cleaned name: photo.jpg -> photo_0.jpg, a.b.c -> a.b_0.c, README -> README_0.
QString NumberedName(const QString& name, int counter);
// The folder name for a host: the file-name rule applied to it.
QString HostFolderName(const QString& host);
// The site folder of a save folder and a top address: the host's folder name, fitted to the name
// length limit, directly after the save folder (which ends in its separator). The resume list and
// the list display find a site's folder through this function too.
QString SiteDirOf(const QString& saveDir, const QString& topAddress);

// Creates folder and every missing folder above it. Never reports anything.
void MakeFolder(const QString& folder);
// Creates every missing folder along path, excluding its last segment. Never reports anything.
void MakeFolders(const QString& path);
// Deletes one file; every error is ignored and a read-only file is left alone.
void DeleteFileQuietly(const QString& path);
