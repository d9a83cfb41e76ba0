#include "platform/settingslocation.h"

#include "productnames.h"

#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString SettingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + MakerName + u'/'
        + ProductName + u".conf"_s;
}

bool SettingsLocation::inRegistry() const
{
#ifdef Q_OS_WIN
    return format == QSettings::NativeFormat;
#else
    return false;
#endif
}

SettingsLocation UserSettingsLocation()
{
#ifdef Q_OS_WIN
    return { u"HKEY_CURRENT_USER\\Software\\"_s + MakerName, QSettings::NativeFormat };
#else
    return { SettingsFilePath(), QSettings::IniFormat };
#endif
}
