// Start-up: one copy per user, Qt's own texts in Japanese, then the main window. The current
// folder is left as the program was given it on Linux; on Windows it becomes the program's own.
#include "app/appicon.h"
#include "app/mainwindow.h"
#include "app/qttranslations.h"
#include "platform/clock.h"
#include "platform/desktopservicesshell.h"
#include "platform/singleinstance.h"
#include "platform/userfolders.h"
#include "productnames.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(MakerName);
    QCoreApplication::setApplicationName(ProductName);

    LoadQtTranslations(app);
    QApplication::setWindowIcon(AppIcon());

    SettleUserFolderBase();

    SettingsStore settings;
    DesktopServicesShell shell;
    SystemClock clock;
    MainWindow window(settings, shell, clock);

    SingleInstance instance;
    if (!instance.acquire()) {
        // The copy that runs comes to the front, so the user finds it behind the message.
        instance.askToRaise();
        const QString message = u"このアプリケーションはすでに開かれています。"_s;
        // UTF-8, as the command line writes it: a Windows code page other than Japanese would lose it.
        fprintf(stderr, "%s\n", message.toUtf8().constData());
        fflush(stderr);
        QMessageBox::information(nullptr, ProductName, message, QMessageBox::Ok);
        return 0;
    }
    instance.onRaiseRequest([&window] { window.bringToFront(); });
    window.show();
    return app.exec();
}
