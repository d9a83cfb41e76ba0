#pragma once
// Every choice that outlives a run: text values under organisation Quillmark, section Fetchwright,
// where the system keeps a user's settings (platform/settingslocation.h): the file
// $XDG_CONFIG_HOME/Quillmark/Fetchwright.conf on Linux, HKEY_CURRENT_USER\Software\Quillmark\Fetchwright
// on Windows. A file is readable by its owner only, as it holds the Basic credential (ASTRING); the
// user's registry is the user's own already.
// Numbers are stored as decimal text and check boxes as "1" or "0". A reader returns the key's
// default (SettingsDefaults::Of) when the key is absent or its text does not convert; the few
// readers with a default of their own pass it. Texts convert as settings/storedvalues.h says.
//   SettingsStore store;                       // the user's store
//   SettingsStore store(dir + u"/s.conf"_s);   // a test's store
//   store.number(SettingsKeys::DeepCount);      // 3 when absent
//   store.get(SettingsKeys::DownloadExts, SettingsDefaults::CrawlDownloadExts);

#include "settings/storedvalues.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <utility>

class QSettings;
struct SettingsLocation;

class SettingsStore {
public:
    // The user's store; on Windows it first takes over the file earlier versions kept.
    SettingsStore();
    // A store kept in the given file.
    explicit SettingsStore(const QString& filePath);
    // A store at the given location, in a file or in the registry.
    explicit SettingsStore(const SettingsLocation& location);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The settings file of the user's configuration folder (SettingsFilePath).
    static QString defaultFilePath();
    // The store's file; for a store in the registry, the key that holds its values.
    QString filePath() const;

    // Copies every value of the settings file at filePath into this store and renames the file
    // "<name>.old", so that it is read once; only while this store holds no value of its own, so
    // a file left behind never overwrites what was changed since. Whether the file was taken over.
    bool takeOverFile(const QString& filePath);

    // The stored text, or the key's default.
    QString text(const QString& key) const;
    QString get(const QString& key, const QString& defaultValue) const;
    void save(const QString& key, const QString& value);
    void save(const QString& key, qint64 value) { save(key, QString::number(value)); }
    // Saves every pair, in order, with one write of the file.
    void saveAll(const QList<std::pair<QString, QString>>& values);
    // Saves each key as a dialog shows it: its stored text, else its default.
    void saveShown(const QStringList& keys);

    // The stored text as a number (rounded to the nearest whole number), or the default.
    qint64 number(const QString& key) const;
    qint64 number(const QString& key, qint64 defaultValue) const;
    // The stored text as a decimal number, or the default.
    double decimal(const QString& key) const;
    double decimal(const QString& key, double defaultValue) const;
    // "1", "-1", "True" and any non-zero number are true; "0" and "False" false; else the default.
    bool flag(const QString& key) const;
    bool flag(const QString& key, bool defaultValue) const;

    // Guarantees the values saved so far are on disk; errors are reported.
    bool sync();

private:
    std::unique_ptr<QSettings> m_settings;
    QString m_registryKey; // the key that holds the values, for a store in the registry
    bool m_private = false; // the file is known to be readable by its owner only, or there is none
};
