#include "app/desktopnotice.h"

#include "app/appicon.h"
#include "productnames.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

void NotifyOnDesktop(QWidget* window, const QString& text)
{
    QApplication::alert(window);
    if (!QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages())
        return;
    auto* tray = new QSystemTrayIcon(AppIcon(), window);
    tray->show();
    tray->showMessage(ProductName, text, QSystemTrayIcon::Information);
    QObject::connect(tray, &QSystemTrayIcon::messageClicked, window, [window] {
        window->raise();
        window->activateWindow();
    });
    QTimer::singleShot(30000, tray, &QObject::deleteLater);
}
