#include "storage/partfile.h"

#include "storage/localpath.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

IoStatus StartPartFile(const QString& localPath)
{
    MakeFolders(localPath);
    const QString part = PartFilePath(localPath);
    const IoStatus status = OverwriteFile(part, {});
    if (status)
        MarkHidden(part, true);
    return status;
}

IoStatus CommitPartFile(const QString& localPath)
{
    const QString part = PartFilePath(localPath);
    MarkHidden(part, false); // a rename keeps the mark
    // Nearly always the name is free: then one step moves the file, with no look at either name.
    bool taken = false;
    const IoStatus moved = RenameToFreeName(part, localPath, taken);
    if (moved)
        return moved;
    if (!QFileInfo(part).isFile())
        return IoStatus::failure(localPath, u"ダウンロード中の一時ファイルがなくなりました。"_s);
    if (!taken)
        return moved;
    const QFileInfo existing(localPath);
    if (!existing.isFile() || !(existing.permissions() & QFileDevice::WriteOwner))
        return IoStatus::failure(
            localPath, u"同じ名前のフォルダか書き込み禁止のファイルがあるため置き換えられません。"_s);
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
