#include "platform/filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr QFileDevice::Permissions OwnerOnlyPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

IoStatus writeAll(QFile& file, const QString& path, const QByteArray& bytes)
{
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.close();
        return IoStatus::failure(path, reason);
    }
    if (!file.flush()) {
        const QString reason = file.errorString();
        file.close();
        return IoStatus::failure(path, reason);
    }
    file.close();
    return IoStatus::success();
}

bool renameOver(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
               reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
        != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

} // namespace

IoStatus ReplaceFileAtomically(const QString& path, const QByteArray& bytes, FileAccess access)
{
    const QString temporary = path + u".tmp"_s;
    QFile file(temporary);
    bool opened = false;
    if (access == FileAccess::OwnerOnly) {
        // Created anew, so the owner-only mode holds from the first byte on.
        QFile::remove(temporary);
        opened = file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerOnlyPermissions);
    } else {
        opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    if (!opened)
        return IoStatus::failure(path, file.errorString());
    IoStatus status = writeAll(file, path, bytes);
    if (!status) {
        QFile::remove(temporary);
        return status;
    }
    if (!renameOver(temporary, path)) {
        QFile::remove(temporary);
        return IoStatus::failure(path, u"cannot replace the file"_s);
    }
    return IoStatus::success();
}

bool KeepFilePrivate(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        QDir().mkpath(info.path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerOnlyPermissions);
    }
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
        return IoStatus::failure(path, file.errorString());
    return writeAll(file, path, bytes);
}

IoStatus RenameOver(const QString& from, const QString& to)
{
    if (!renameOver(from, to))
        return IoStatus::failure(to, qt_error_string());
    return IoStatus::success();
}

IoStatus OverwriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return IoStatus::failure(path, file.errorString());
    return writeAll(file, path, bytes);
}

IoStatus AppendFiles::append(const QString& path, QByteArrayView bytes)
{
    auto found = m_files.find(path);
    if (found == m_files.end()) {
        auto file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return IoStatus::failure(path, file->errorString());
        const qint64 size = file->size();
        found = m_files.emplace(path, OpenFile { std::move(file), size }).first;
    }
    OpenFile& open = found->second;
    const qint64 written = open.file->write(bytes.data(), bytes.size());
    if (written != bytes.size()) {
        IoStatus status = IoStatus::failure(path, open.file->errorString());
        m_files.erase(found); // the size is unknown now; the next append opens afresh
        return status;
    }
    open.size += written;
    return IoStatus::success();
}

qint64 AppendFiles::size(const QString& path) const
{
    const auto found = m_files.find(path);
    return found != m_files.end() ? found->second.size : QFileInfo(path).size();
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

QString WithFinalSeparator(const QString& folder, EmptyFolder empty)
{
    if (folder.isEmpty())
        return empty == EmptyFolder::BecomesRoot ? QString(NativeSeparator()) : folder;
    if (IsFolderSeparator(folder.back()))
        return folder;
    return folder + NativeSeparator();
}
