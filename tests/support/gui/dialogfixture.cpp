#include "support/gui/dialogfixture.h"

#include <QSettings>

QStringList DialogFixture::storedKeys() const
{
    return QSettings(store.filePath(), QSettings::IniFormat).allKeys();
}
