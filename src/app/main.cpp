// Start-up: one copy per user, the program's folder as the current folder, then the main window.
#include "app/mainwindow.h"
#include "app/settingsstore.h"
#include "platform/clock.h"
#include "platform/shell.h"
#include "platform/singleinstance.h"
#include "productnames.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(MakerName);
    QCoreApplication::setApplicationName(ProductName);

    // A program started from a network path keeps the current folder it was given.
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.startsWith(u"\\\\"_s) && !programFolder.startsWith(u"//"_s))
        QDir::setCurrent(programFolder);

    SettingsStore settings;
    DesktopShell shell;
    SystemClock clock;
    MainWindow window(settings, shell, clock);

    SingleInstance instance;
    if (!instance.acquire()) {
        const QString message = u"このアプリケーションはすでに開かれています。"_s;
        fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        fflush(stderr);
        QMessageBox::information(nullptr, ProductName, message, QMessageBox::Ok);
        return 0;
    }
    window.show();
    return app.exec();
}
