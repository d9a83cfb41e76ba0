#include "platform/filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>

#include <aclapi.h>
#include <vector>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr QFileDevice::Permissions OwnerOnlyPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

IoStatus writeAll(QFile& file, const QString& path, const QByteArray& bytes)
{
    IoStatus status = WriteFully(file, path, bytes);
    if (status && !file.flush())
        status = FileFailure(file, path);
    file.close();
    // A close that failed leaves its error; one that succeeded clears it.
    if (status && file.error() != QFileDevice::NoError)
        status = FileFailure(file, path);
    return status;
}

#ifdef Q_OS_WIN
// The "\\?\" form lifts the 260-character limit, where the system has not lifted it already.
QString longForm(const QString& path)
{
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (native.startsWith(u"\\\\"_s))
        return u"\\\\?\\UNC\\"_s + native.mid(2);
    return u"\\\\?\\"_s + native;
}
#endif

bool renameOver(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t*>(longForm(from).utf16()),
               reinterpret_cast<const wchar_t*>(longForm(to).utf16()),
               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
        != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

// Why the rename just tried failed, read before any other call can change the system's error.
QString renameFailureReason()
{
#ifdef Q_OS_WIN
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return u"ファイルが使用中か、書き込みが許可されていません。"_s;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return u"ディスクがいっぱいです。"_s;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return u"ファイルまたはフォルダがありません。"_s;
    case ERROR_WRITE_PROTECT:
        return u"書き込みが禁止されています。"_s;
    default:
        break;
    }
#else
    switch (errno) {
    case EACCES:
    case EPERM:
        return u"書き込みが許可されていません。"_s;
    case EROFS:
        return u"読み取り専用のため書き込めません。"_s;
    case ENOSPC:
    case EDQUOT:
        return u"ディスクがいっぱいです。"_s;
    case ENOENT:
        return u"ファイルまたはフォルダがありません。"_s;
    case EISDIR:
    case ENOTEMPTY:
    case EEXIST:
        return u"同じ名前のフォルダがあります。"_s;
    case ENAMETOOLONG:
        return u"名前が長すぎます。"_s;
    default:
        break;
    }
#endif
    return u"ファイルの名前を変えられません。"_s;
}

enum class FreeRename { Moved, Taken, Failed, Unsupported };

FreeRename renameToFreeName(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(longForm(from).utf16()),
            reinterpret_cast<const wchar_t*>(longForm(to).utf16()), MOVEFILE_WRITE_THROUGH))
        return FreeRename::Moved;
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? FreeRename::Taken : FreeRename::Unsupported;
#elif defined(Q_OS_LINUX)
    if (::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
            RENAME_NOREPLACE)
        == 0)
        return FreeRename::Moved;
    // A file system that cannot promise it is asked the old way.
    if (errno == EINVAL || errno == ENOSYS)
        return FreeRename::Unsupported;
    return errno == EEXIST ? FreeRename::Taken : FreeRename::Failed;
#else
    return FreeRename::Unsupported;
#endif
}

} // namespace

namespace {

// Qt's error strings are the system's English; the user is told in Japanese what went wrong, from
// what the error and the file system say.
QString fileErrorReason(const QFileDevice& file, const QString& path, bool diskFull)
{
    if (diskFull)
        return u"ディスクがいっぱいです。"_s;
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    switch (file.error()) {
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
        if (!folder.exists())
            return u"フォルダがありません。"_s;
        if (!folder.isDir())
            return u"フォルダと同じ名前のファイルがあります。"_s;
        if (info.isDir())
            return u"同じ名前のフォルダがあります。"_s;
        if (info.exists() && !info.isWritable())
            return u"書き込みが許可されていません。"_s;
        if (!info.exists() && folder.isWritable())
            return u"ファイルがありません。"_s;
        if (!folder.isWritable())
            return u"書き込みが許可されていません。"_s;
        return u"ファイルを開けません。"_s;
    case QFileDevice::ReadError:
        return u"ファイルを読み込めません。"_s;
    case QFileDevice::RemoveError:
        return u"ファイルを削除できません。"_s;
    case QFileDevice::RenameError:
        return u"ファイルの名前を変えられません。"_s;
    case QFileDevice::ResizeError:
        return u"ファイルの大きさを変えられません。"_s;
    case QFileDevice::CopyError:
        return u"ファイルをコピーできません。"_s;
    default:
        return u"ファイルに書き込めません。"_s;
    }
}

// Windows keeps no permission bits: a file of the owner's alone has an access list naming only the
// user, inheriting nothing from its folder.
bool restrictToOwner([[maybe_unused]] const QString& path)
{
#ifdef Q_OS_WIN
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    const bool known = GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!known)
        return false;
    EXPLICIT_ACCESSW access {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<LPWSTR>(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    PACL list = nullptr;
    if (SetEntriesInAclW(1, &access, nullptr, &list) != ERROR_SUCCESS)
        return false;
    std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD result = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, list, nullptr);
    LocalFree(list);
    return result == ERROR_SUCCESS;
#else
    return true;
#endif
}

} // namespace

IoStatus FileFailure(const QFileDevice& file, const QString& path)
{
    const QStorageInfo storage(QFileInfo(path).absolutePath());
    const bool diskFull = file.error() == QFileDevice::ResourceError
        || (storage.isValid() && !storage.isReadOnly() && storage.bytesAvailable() == 0);
    IoStatus status = IoStatus::failure(path, fileErrorReason(file, path, diskFull));
    status.diskFull = diskFull;
    return status;
}

bool FolderWritable(const QString& folder)
{
    // Permission bits do not tell everything (ACLs, read-only mounts): a file is made and removed.
    QTemporaryFile probe(QDir(folder).filePath(u".fetchwright-probe-XXXXXX"_s));
    return probe.open();
}

IoStatus WriteFully(QFileDevice& file, const QString& path, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 written = file.write(bytes.data(), bytes.size());
        if (written <= 0)
            return FileFailure(file, path);
        bytes = bytes.sliced(written);
    }
    return IoStatus::success();
}

IoStatus ReplaceFileAtomically(const QString& path, const QByteArray& bytes, FileAccess access)
{
    const QString temporary = path + u".tmp"_s;
    QFile file(temporary);
    bool opened = false;
    if (access == FileAccess::OwnerOnly) {
        // Created anew, so the owner-only mode holds from the first byte on.
        QFile::remove(temporary);
        opened
            = file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerOnlyPermissions) && restrictToOwner(temporary);
    } else {
        opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    if (!opened)
        return FileFailure(file, path);
    IoStatus status = writeAll(file, path, bytes);
    if (!status) {
        QFile::remove(temporary);
        return status;
    }
    if (!renameOver(temporary, path)) {
        const QString reason = renameFailureReason();
        QFile::remove(temporary);
        return IoStatus::failure(path, u"ファイルを置き換えられません。"_s + reason);
    }
    return IoStatus::success();
}

bool KeepFilePrivate(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        QDir().mkpath(info.path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerOnlyPermissions) && restrictToOwner(path);
    }
#ifdef Q_OS_WIN
    return restrictToOwner(path);
#endif
    constexpr QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (!(info.permissions() & others))
        return true;
    return QFile::setPermissions(path, info.permissions() & ~others);
}

IoStatus AppendToFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return FileFailure(file, path);
    return writeAll(file, path, bytes);
}

IoStatus RenameOver(const QString& from, const QString& to)
{
    if (!renameOver(from, to))
        return IoStatus::failure(to, renameFailureReason());
    return IoStatus::success();
}

IoStatus RenameToFreeName(const QString& from, const QString& to, bool& taken)
{
    taken = false;
    switch (renameToFreeName(from, to)) {
    case FreeRename::Moved:
        return IoStatus::success();
    case FreeRename::Taken:
        taken = true;
        return IoStatus::failure(to, u"同じ名前のファイルがあります。"_s);
    case FreeRename::Failed:
        return IoStatus::failure(to, renameFailureReason());
    case FreeRename::Unsupported:
        break;
    }
    if (QFileInfo::exists(to)) {
        taken = true;
        return IoStatus::failure(to, u"同じ名前のファイルがあります。"_s);
    }
    return RenameOver(from, to);
}

IoStatus OverwriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return FileFailure(file, path);
    return writeAll(file, path, bytes);
}

IoStatus AppendFiles::append(const QString& path, QByteArrayView bytes)
{
    auto found = m_files.find(path);
    if (found == m_files.end() || !found->second.file) {
        auto file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return FileFailure(*file, path);
        const qint64 size = file->size();
        found = m_files.insert_or_assign(path, OpenFile { std::move(file), size }).first;
    }
    OpenFile& open = found->second;
    IoStatus status = WriteFully(*open.file, path, bytes);
    if (!status) {
        // Cut back to where the append began, so that a later line never continues a broken one
        // (a full disk writes part of a line); when even that fails, the size is unknown and the
        // next append opens afresh.
        if (!open.file->resize(open.size))
            m_files.erase(found);
        return status;
    }
    open.size += bytes.size();
    return IoStatus::success();
}

qint64 AppendFiles::size(const QString& path) const
{
    auto found = m_files.find(path);
    if (found == m_files.end())
        found = m_files.emplace(path, OpenFile { nullptr, QFileInfo(path).size() }).first;
    return found->second.size;
}

void AppendFiles::close(const QString& path)
{
    m_files.erase(path);
}

void AppendFiles::closeAll()
{
    m_files.clear();
}

QChar NativeSeparator()
{
    return QDir::separator();
}

bool IsFolderSeparator(QChar ch)
{
#ifdef Q_OS_WIN
    return ch == u'/' || ch == u'\\';
#else
    return ch == u'/';
#endif
}

QString ToNativeSeparators(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString LastPathSegment(const QString& path)
{
    qsizetype at = path.size();
    while (at > 0 && !IsFolderSeparator(path[at - 1]))
        --at;
    return path.mid(at);
}

QString FolderRoot(const QString& path)
{
    const QString native = ToNativeSeparators(path);
    const QChar separator = NativeSeparator();
#ifdef Q_OS_WIN
    if (native.startsWith(QString(2, separator))) {
        const QStringList parts = native.split(separator);
        return QString(2, separator) + parts.value(2) + separator + parts.value(3) + separator;
    }
    if (native.size() >= 2 && native[1] == u':' && native[0].isLetter())
        return native.left(2) + separator;
#endif
    return native.startsWith(separator) ? QString(separator) : QString();
}

bool NamesFoldCase()
{
#ifdef Q_OS_WIN
    return true;
#else
    return false;
#endif
}

QString NameOnDisk(const QString& path)
{
#ifdef Q_OS_WIN
    WIN32_FIND_DATAW found {};
    const HANDLE search = FindFirstFileW(reinterpret_cast<const wchar_t*>(longForm(path).utf16()), &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return QString::fromWCharArray(found.cFileName);
    }
#endif
    return LastPathSegment(path);
}

void MarkHidden([[maybe_unused]] const QString& path, [[maybe_unused]] bool hidden)
{
#ifdef Q_OS_WIN
    const std::wstring name = longForm(path).toStdWString();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(name.c_str(), hidden ? attributes | FILE_ATTRIBUTE_HIDDEN : attributes & ~FILE_ATTRIBUTE_HIDDEN);
#endif
}

QString WithFinalSeparator(const QString& folder, EmptyFolder empty)
{
    if (folder.isEmpty())
        return empty == EmptyFolder::BecomesRoot ? QString(NativeSeparator()) : folder;
    if (IsFolderSeparator(folder.back()))
        return folder;
    return folder + NativeSeparator();
}
