#include "storage/localpath.h"

#include "address/addressfunctions.h"
#include "platform/filesystem.h"
#include "storage/localname.h"
#include "storage/partfilename.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

bool isReplacedCharacter(QChar c)
{
    // Decoded names may bring controls and the characters Windows refuses in a name.
    if (c.unicode() < 0x20 || c.unicode() == 0x7F)
        return true;
    switch (c.unicode()) {
    case u'"':
    case u'*':
    case u'|':
    case u'<':
    case u'>':
    case u'[':
    case u']':
    case u'/':
    case u',':
    case u'\\':
    case u' ':
    case u'=':
    case u'$':
    case u'&':
    case u':':
    case u'?':
        return true;
    default:
        return false;
    }
}

bool isDotsOnly(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c != u'.')
            return false;
    return true;
}

// The directory segments of an address with "." dropped and ".." climbing, never above the top.
QStringList resolvedSegments(const QString& directoryPath)
{
    QStringList kept;
    const QStringList segments = directoryPath.split(u'/', Qt::SkipEmptyParts);
    for (const QString& segment : segments) {
        if (segment == u"."_s)
            continue;
        if (segment == u".."_s) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(segment);
    }
    return kept;
}

QString folderPart(const LocalTree& tree, const QString& directoryPath, const QString& filedUnder)
{
    if (tree.noDirTree)
        return u"/"_s;
    QString folder = u"/"_s;
    for (const QString& segment : resolvedSegments(directoryPath))
        folder += FitNameLength(CleanNameSegment(DecodeLocalName(segment))) + u'/';
    if (filedUnder != tree.topRoot) {
        // The prefix belongs to the folder's name, so the length limit applies to both together.
        const QString host = filedUnder.split(u'/').value(2);
        folder = u'/' + FitNameLength(ForeignHostPrefix.mid(1) + HostFolderName(host)) + folder;
    }
    return folder;
}

// The folder part as it can be made under siteDir: a folder whose name a file already has (a page
// album.html beside album.html/inner.jpg, or beside ALBUM.HTML/ where names fold case) is numbered
// as a file would be, and an existing folder spelt otherwise on disk is written as it is spelt.
// onDisk: whether the whole folder stands on disk; a file in one that does not cannot be there.
QString placedFolder(const QString& siteDir, const QString& folder, KnownFolders* known, bool& onDisk)
{
    QString placed = u"/"_s;
    bool probing = true; // below a folder that does not exist, nothing does
    for (const QString& segment : folder.split(u'/', Qt::SkipEmptyParts)) {
        QString name = segment;
        for (int counter = 0; probing && counter < std::numeric_limits<int>::max(); ++counter) {
            const QString path = siteDir + placed + name;
            if (known) {
                if (const auto found = known->onDisk.constFind(path); found != known->onDisk.cend()) {
                    name = *found;
                    break;
                }
            }
            // The crawl's own files stand in the tree's first level: its folders there are looked at.
            const bool remembersMissing = known && placed != u"/"_s;
            if (remembersMissing && known->missing.contains(path)) {
                probing = false;
                break;
            }
            // One look at the disk: isDir() reads the entry, and exists() takes what it read.
            const QFileInfo existing(path);
            if (existing.isDir()) {
                name = NameOnDisk(path);
                if (known)
                    known->keep(known->onDisk, path, name);
            } else if (!existing.exists()) {
                probing = false;
                if (remembersMissing) {
                    if (known->missing.size() >= KnownFolders::Most)
                        known->missing.clear();
                    known->missing.insert(path);
                }
            } else {
                name = FitNameLength(NumberedName(segment, counter));
                continue;
            }
            break;
        }
        placed += name + u'/';
    }
    onDisk = probing;
    return placed;
}

// The placed folder of an address, from what the crawl learnt of its folders where it can.
QString placedFolderOf(const LocalTree& tree, const QString& address, const QString& filedUnder, bool& onDisk)
{
    onDisk = true;
    if (tree.noDirTree)
        return u"/"_s;
    const QString directoryPath = DirectoryPathOf(address);
    if (!tree.folders)
        return placedFolder(tree.siteDir, folderPart(tree, directoryPath, filedUnder), nullptr, onDisk);
    const QString key = filedUnder + u'\n' + directoryPath;
    auto known = tree.folders->folders.find(key);
    if (known == tree.folders->folders.end())
        known = tree.folders->keep(tree.folders->folders, key, { folderPart(tree, directoryPath, filedUnder), {} });
    else if (!known->placed.isEmpty())
        return known->placed; // found on disk whole, and folders stay
    const QString placed = placedFolder(tree.siteDir, known->cleaned, tree.folders, onDisk);
    if (onDisk)
        known->placed = placed;
    return placed;
}

} // namespace

void KnownFolders::madeFile(const QString& path)
{
    if (missing.isEmpty())
        return;
    // Where names fold case, a folder spelt otherwise is the same one.
    if (NamesFoldCase()) {
        missing.clear();
        return;
    }
    for (qsizetype end = path.size(); end > 0; end = path.lastIndexOf(u'/', end - 1))
        missing.remove(path.left(end));
}

bool IsDeviceName(const QString& name)
{
    const qsizetype dot = name.indexOf(u'.');
    const QStringView stem = QStringView(name).left(dot < 0 ? name.size() : dot);
    if (stem.size() != 3 && stem.size() != 4)
        return false; // most names, decided without comparing
    const auto is = [&stem](QStringView device) { return stem.compare(device, Qt::CaseInsensitive) == 0; };
    if (is(u"CON") || is(u"PRN") || is(u"AUX") || is(u"NUL"))
        return true;
    const QStringView prefix = stem.left(3);
    return stem.size() == 4
        && (prefix.compare(u"COM", Qt::CaseInsensitive) == 0 || prefix.compare(u"LPT", Qt::CaseInsensitive) == 0)
        && stem[3] >= u'1' && stem[3] <= u'9';
}

QString CleanNameSegment(const QString& segment)
{
    QString cleaned = segment;
    for (QChar& c : cleaned)
        if (isReplacedCharacter(c))
            c = u'.';
    if (isDotsOnly(cleaned)) {
        cleaned.fill(QChar(0xFF0E));
        return cleaned;
    }
    // Windows drops a final dot and opens a device for a device's name; both are kept apart the same
    // way on every system, so a crawl's tree is the same wherever it runs.
    if (cleaned.endsWith(u'.'))
        cleaned.back() = QChar(0xFF0E);
    if (IsDeviceName(cleaned))
        cleaned[0] = QChar(cleaned[0].unicode() + 0xFEE0); // the letter's full-width form
    return cleaned;
}

QString HostFolderName(const QString& host)
{
    return CleanNameSegment(host);
}

QString SiteDirOf(const QString& saveDir, const QString& topAddress)
{
    return saveDir + FitNameLength(HostFolderName(HostOf(topAddress)));
}

QString FitNameLength(const QString& name)
{
    // No UTF-16 unit takes more than 3 bytes of UTF-8: most names fit without being encoded.
    if (name.size() * 3 <= MaxNameBytes || name.toUtf8().size() <= MaxNameBytes)
        return name;
    const QString hash
        = QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
    const qsizetype dot = name.lastIndexOf(u'.');
    // An "extension" longer than 16 characters is no extension: the whole name is cut.
    const bool keepsExtension = dot > 0 && name.size() - dot - 1 <= 16;
    const QString extension = keepsExtension ? name.mid(dot) : QString();
    const QString stem = keepsExtension ? name.left(dot) : name;
    const qsizetype room = MaxNameBytes - extension.toUtf8().size() - 1 - hash.size();
    QString cut;
    qsizetype used = 0;
    for (qsizetype i = 0; i < stem.size(); ++i) {
        const qsizetype width = stem[i].isHighSurrogate() && i + 1 < stem.size() ? 2 : 1;
        const qsizetype bytes = stem.mid(i, width).toUtf8().size();
        if (used + bytes > room)
            break;
        cut += stem.mid(i, width);
        used += bytes;
        i += width - 1;
    }
    return cut + u'~' + hash + extension;
}

QString NumberedName(const QString& name, int counter)
{
    QStringList parts = name.split(u'.');
    if (parts.size() < 2)
        return name + u'_' + QString::number(counter);
    const QString extension = parts.takeLast();
    return parts.join(u'.') + u'_' + QString::number(counter) + u'.' + extension;
}

QString MapLocalPath(
    const LocalTree& tree, QString& name, const QString& address, const QString& filedUnder, qint64 expectedSize)
{
    const auto clean = [](QString text) {
        const qsizetype query = text.indexOf(u'?');
        if (query >= 0)
            text.truncate(query);
        return CleanNameSegment(DecodeLocalName(text));
    };
    name = clean(name);
    // A site's file may not take a temporary file's name: it would be written over or removed as one.
    if (IsPartFileName(name))
        name[0] = QChar(0xFF0E);
    if (name.isEmpty()) {
        const QStringList segments = address.split(u'/');
        for (qsizetype i = segments.size() - 1; i >= 0 && name.isEmpty(); --i)
            if (!segments[i].isEmpty())
                name = clean(segments[i] + DefaultPageSuffix);
        if (name.isEmpty())
            return {};
    }

    bool folderOnDisk = true;
    const QString folder = placedFolderOf(tree, address, filedUnder, folderOnDisk);
    QString candidate = FitNameLength(name);
    if (folder == u"/"_s && tree.ownName && tree.ownName(candidate)) {
        const char16_t first = candidate[0].unicode();
        if (first > 0x20 && first < 0x7F)
            candidate[0] = QChar(char16_t(first + 0xFEE0));
        else
            candidate.prepend(QChar(0xFF3F));
    }
    for (int counter = 0;; ++counter) {
        const QString path = tree.siteDir + folder + candidate;
        if (!folderOnDisk)
            return path; // nothing stands in a folder not made yet
        const QFileInfo existing(path);
        const bool isFile = existing.isFile(); // one look at the disk, which exists() takes too
        if (!isFile && !existing.exists())
            return path;
        // Where names fold case, a file spelt otherwise is another file of the site: it is neither
        // the same file nor one to replace, and this one takes a number.
        const bool sameName = NameOnDisk(path) == candidate;
        if (sameName && isFile) {
            if (tree.skipSameName && qAbs(expectedSize - existing.size()) <= 1)
                return {};
            // Overwriting happens only when the new file has fully arrived (see partfile.h).
            if (!tree.numberDuplicates)
                return path;
        } else if (sameName && !tree.numberDuplicates) {
            return {}; // a folder stands where the file would go and may not be numbered away
        }
        if (counter == std::numeric_limits<int>::max())
            return {};
        candidate = FitNameLength(NumberedName(name, counter));
    }
}

void MakeFolder(const QString& folder)
{
    if (!folder.isEmpty())
        QDir().mkpath(folder);
}

void MakeFolders(const QString& path)
{
    MakeFolder(QFileInfo(path).path());
}

void DeleteFileQuietly(const QString& path)
{
    const QFileInfo info(path);
    // The owner's write bit, not access(): a read-only file stays even for a privileged user.
    if (!info.isFile() || !(info.permissions() & QFileDevice::WriteOwner))
        return;
    QFile::remove(path);
}
