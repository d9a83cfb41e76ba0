#pragma once
// The document service of the window: Qt's desktop services, which know the desktop the program
// runs on (its portal, xdg-open, or the Windows shell). Needs a QGuiApplication, so it belongs to
// the window, not to the engine.

#include "platform/shell.h"

class DesktopServicesShell final : public Shell {
public:
    bool openDocument(const QString& path) override;
    bool exploreFolder(const QString& path) override;
};
