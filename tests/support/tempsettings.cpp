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
