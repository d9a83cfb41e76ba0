#pragma once
// A settings store kept in a temporary folder, so a test never touches the user's settings.

#include "settings/settingsstore.h"

#include <QTemporaryDir>
#include <memory>

class TempSettings {
public:
    TempSettings();
    SettingsStore& store() { return *m_store; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

// Reads a file whole; empty when it cannot be read.
QByteArray ReadFileBytes(const QString& path);
// Writes bytes to path, creating its folder; fails the calling test when it cannot.
bool WriteFileBytes(const QString& path, const QByteArray& bytes);
// Whether only the file's owner may read or write it (mode 0600 on Linux).
bool IsOwnerOnly(const QString& path);
// False under Wine, which keeps no access list on a file of the Unix folders it shows as drives, so
// that who may read a file cannot be checked there.
bool AccessListsAreKept();
