#include "support/tempsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TempSettings::TempSettings()
    : m_store(std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("Quillmark/Fetchwright.conf"))))
{
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

bool IsOwnerOnly(const QString& path)
{
    const QFileInfo info(path);
    constexpr QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return info.isFile() && (info.permissions() & QFileDevice::ReadOwner) && !(info.permissions() & others);
}
