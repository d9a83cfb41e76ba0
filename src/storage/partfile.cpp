#include "storage/partfile.h"

#include "storage/localpath.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

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
