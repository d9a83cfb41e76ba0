#include "settings/settingsstore.h"

#include "settings/settingskeys.h"

#include "platform/filesystem.h"
#include "platform/settingslocation.h"
#include "productnames.h"

#include <QFile>
#include <QSettings>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

QString qualified(const QString& key)
{
    return ProductName + u'/' + key;
}

} // namespace

SettingsStore::SettingsStore()
    : SettingsStore(UserSettingsLocation())
{
    // Earlier Windows versions kept a file; what the user set there is carried over at the first start.
    if (!m_registryKey.isEmpty())
        takeOverFile(defaultFilePath());
}

SettingsStore::SettingsStore(const QString& filePath)
    : SettingsStore(SettingsLocation { filePath, QSettings::IniFormat })
{
}

SettingsStore::SettingsStore(const SettingsLocation& location)
    : m_settings(std::make_unique<QSettings>(location.path, location.format))
    , m_registryKey(location.inRegistry() ? location.path + u'\\' + ProductName : QString())
    // The registry has no file to restrict: the user's hive is readable by that user and the
    // administrators only.
    , m_private(location.inRegistry())
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultFilePath()
{
    return SettingsFilePath();
}

QString SettingsStore::filePath() const
{
    return m_registryKey.isEmpty() ? m_settings->fileName() : m_registryKey;
}

bool SettingsStore::takeOverFile(const QString& filePath)
{
    if (!QFile::exists(filePath))
        return false;
    m_settings->beginGroup(ProductName);
    const bool holdsValues = !m_settings->childKeys().isEmpty();
    m_settings->endGroup();
    const QSettings file(filePath, QSettings::IniFormat);
    if (holdsValues || file.status() != QSettings::NoError)
        return false;
    for (const QString& key : file.allKeys())
        m_settings->setValue(key, file.value(key));
    // The file goes only once its values are safely stored.
    return sync() && QFile::rename(filePath, filePath + u".old"_s);
}

QString SettingsStore::text(const QString& key) const
{
    return get(key, SettingsDefaults::Of(key));
}

QString SettingsStore::get(const QString& key, const QString& defaultValue) const
{
    const QVariant value = m_settings->value(qualified(key));
    return value.isValid() ? value.toString() : defaultValue;
}

void SettingsStore::save(const QString& key, const QString& value)
{
    saveAll({ { key, value } });
}

void SettingsStore::saveAll(const QList<std::pair<QString, QString>>& values)
{
    // The store holds the credential: the file is the owner's alone before anything is written,
    // and the temporary file of each rewrite takes that mode from it.
    if (!m_private)
        m_private = KeepFilePrivate(m_settings->fileName());
    for (const auto& [key, value] : values)
        m_settings->setValue(qualified(key), value);
    m_settings->sync();
}

void SettingsStore::saveShown(const QStringList& keys)
{
    QList<std::pair<QString, QString>> shown;
    for (const QString& key : keys)
        shown.append({ key, text(key) });
    saveAll(shown);
}

qint64 SettingsStore::number(const QString& key) const
{
    return number(key, SettingsDefaults::NumberOf(key));
}

qint64 SettingsStore::number(const QString& key, qint64 defaultValue) const
{
    const QVariant value = m_settings->value(qualified(key));
    if (!value.isValid())
        return defaultValue;
    const std::optional<double> number = TextToNumber(value.toString());
    if (!number || std::abs(*number) > 9.0e15)
        return defaultValue;
    return qint64(std::llround(*number));
}

double SettingsStore::decimal(const QString& key) const
{
    return decimal(key, TextToNumber(SettingsDefaults::Of(key)).value_or(0));
}

double SettingsStore::decimal(const QString& key, double defaultValue) const
{
    const QVariant value = m_settings->value(qualified(key));
    if (!value.isValid())
        return defaultValue;
    return TextToNumber(value.toString()).value_or(defaultValue);
}

bool SettingsStore::flag(const QString& key) const
{
    return flag(key, TextToFlag(SettingsDefaults::Of(key)).value_or(false));
}

bool SettingsStore::flag(const QString& key, bool defaultValue) const
{
    const QVariant value = m_settings->value(qualified(key));
    if (!value.isValid())
        return defaultValue;
    return TextToFlag(value.toString()).value_or(defaultValue);
}

bool SettingsStore::sync()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
