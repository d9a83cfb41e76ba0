#include "platform/desktopservicesshell.h"

#include <QDesktopServices>
#include <QUrl>

bool DesktopServicesShell::openDocument(const QString& path)
{
    // fromLocalFile, not a URL built from text: "#", "?" and "%" are parts of the file name.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DesktopServicesShell::exploreFolder(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
