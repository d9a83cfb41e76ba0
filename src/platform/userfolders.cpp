#include "platform/userfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString UserFolderBase()
{
#ifdef Q_OS_WIN
    return QDir::currentPath();
#else
    return QDir::homePath();
#endif
}

void SettleUserFolderBase()
{
#ifdef Q_OS_WIN
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.startsWith(u"\\\\") && !programFolder.startsWith(u"//"))
        QDir::setCurrent(programFolder);
#endif
}

QString ResolveUserFolder(const QString& path)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return QDir::toNativeSeparators(path);
    // Joined, not cleaned: a final separator the user typed stays.
    QString base = UserFolderBase();
    if (!base.endsWith(u'/'))
        base += u'/';
    return QDir::toNativeSeparators(base + path);
}

QString DefaultSaveFolder()
{
#ifdef Q_OS_WIN
    return QString();
#else
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && QFileInfo(downloads).isDir())
        return QDir::toNativeSeparators(downloads);
    return QDir::toNativeSeparators(QDir::homePath());
#endif
}
