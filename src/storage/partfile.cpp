#include "storage/partfile.h"

#include "storage/localpath.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

QString PartFilePath(const QString& localPath)
{
    const QFileInfo info(localPath);
    // A hash keeps the temporary name short whatever the length of the real one.
    const QByteArray hash = QCryptographicHash::hash(info.fileName().toUtf8(), QCryptographicHash::Sha1).toHex();
    return info.path() + u"/.fetchwright-"_s + QString::fromLatin1(hash.left(16)) + u".part"_s;
}

bool IsPartFileName(const QString& fileName)
{
    static const QRegularExpression form(
        u"\\A\\.fetchwright-[0-9a-f]{16}\\.part\\z"_s, QRegularExpression::CaseInsensitiveOption);
    return form.match(fileName).hasMatch();
}

IoStatus StartPartFile(const QString& localPath)
{
    MakeFolders(localPath);
    return OverwriteFile(PartFilePath(localPath), {});
}

IoStatus CommitPartFile(const QString& localPath)
{
    const QFileInfo existing(localPath);
    if (existing.exists() && (!existing.isFile() || !(existing.permissions() & QFileDevice::WriteOwner)))
        return IoStatus::failure(localPath, u"the file there cannot be replaced"_s);
    const QString part = PartFilePath(localPath);
    if (!QFileInfo(part).isFile())
        return IoStatus::failure(localPath, u"its temporary file has disappeared"_s);
    return RenameOver(part, localPath);
}

void DiscardPartFile(const QString& localPath)
{
    DeleteFileQuietly(PartFilePath(localPath));
}

bool PartFileExists(const QString& localPath)
{
    return QFileInfo(PartFilePath(localPath)).isFile();
}
