#pragma once
// Where the user's settings are kept: where the system keeps a program's settings. On Windows that
// is the user's registry, the values under HKEY_CURRENT_USER\Software\Quillmark\Fetchwright (the
// store's keys are "Fetchwright/<key>"); elsewhere a file in the user's configuration folder.
//   UserSettingsLocation()  ->  { "HKEY_CURRENT_USER\Software\Quillmark", NativeFormat }         Windows
//   UserSettingsLocation()  ->  { "/home/ann/.config/Quillmark/Fetchwright.conf", IniFormat }   Linux

#include <QSettings>
#include <QString>

struct SettingsLocation {
    QString path; // a file, or a key of the registry
    QSettings::Format format = QSettings::IniFormat;

    // Whether path names a key of the registry (the native format on Windows) rather than a file.
    bool inRegistry() const;
};

// The settings file in the user's configuration folder: the user's store on Linux; on Windows the
// file earlier versions kept (%LOCALAPPDATA%\Quillmark\Fetchwright.conf), which the registry takes over.
QString SettingsFilePath();
SettingsLocation UserSettingsLocation();
