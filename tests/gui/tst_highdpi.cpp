// Every dialog fits the screen it opens on at 150 and 200 percent, on 1366x768 and 1920x1080: the
// dialogs are made in a child process of this program on such a screen (the scale is fixed once an
// application starts), and each of their buttons can be reached, on the dialog or scrolled to.
#include "dialogs/deepaddrdialog.h"
#include "dialogs/gethttpaddrdialog.h"
#include "dialogs/getrestartformdialog.h"
#include "dialogs/getrestartlistdialog.h"
#include "dialogs/makegraphviewdialog.h"
#include "dialogs/makelistdirdialog.h"
#include "dialogs/settingdialog.h"

#include "support/gui/dialogfixture.h"
#include "support/quiethost.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// In the child: the buttons of every dialog that cannot be reached, one line each.
QStringList unreachableButtons()
{
    DialogFixture f;
    QuietHost host;
    DeepAddrDialog deep(f.env);
    GetHttpAddrDialog address(f.env, deep);
    SettingDialog settings(f.env);
    GetRestartListDialog list(f.env);
    GetReStartFormDialog form(f.env, list);
    MakeListDirDialog folders(f.env, host);
    MakeGraphViewDialog images(f.env, host);
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    QStringList unreachable;
    for (QDialog* dialog :
        std::initializer_list<QDialog*> { &deep, &address, &settings, &list, &form, &folders, &images, &f.picker }) {
        dialog->show();
        QApplication::processEvents();
        const QString name = QString::fromLatin1(dialog->metaObject()->className());
        if (dialog->width() > room.width() || dialog->height() > room.height())
            unreachable.append(name + u" is larger than the screen"_s);
        auto* area = dialog->findChild<QScrollArea*>();
        // Tab goes from control to control, as where nothing scrolls.
        if (area && (area->focusPolicy() & Qt::TabFocus))
            unreachable.append(name + u" stops Tab at its scroll area"_s);
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (area)
                area->ensureWidgetVisible(button);
            if (!dialog->rect().contains(QRect(button->mapTo(dialog, QPoint()), button->size())))
                unreachable.append(name + u' ' + button->objectName());
        }
        dialog->hide();
    }
    return unreachable;
}

} // namespace

class TestHighDpi : public QObject {
    Q_OBJECT
private slots:
    void everyDialogFitsTheScreen_data();
    void everyDialogFitsTheScreen();
};

void TestHighDpi::everyDialogFitsTheScreen_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("scale");
    QTest::newRow("1366x768 at 125%") << u"1366"_s << u"768"_s << u"1.25"_s;
    QTest::newRow("1366x768 at 150%") << u"1366"_s << u"768"_s << u"1.5"_s;
    QTest::newRow("1366x768 at 200%") << u"1366"_s << u"768"_s << u"2"_s;
    QTest::newRow("1920x1080 at 150%") << u"1920"_s << u"1080"_s << u"1.5"_s;
    QTest::newRow("1920x1080 at 200%") << u"1920"_s << u"1080"_s << u"2"_s;
}

void TestHighDpi::everyDialogFitsTheScreen()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, scale);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { u"--dialogs-on"_s, width, height, scale });
    QVERIFY(child.waitForFinished(60000));
    const QString told = QString::fromUtf8(child.readAllStandardOutput() + child.readAllStandardError());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(told));
}

int main(int argc, char* argv[])
{
    if (argc == 5 && qstrcmp(argv[1], "--dialogs-on") == 0) {
        // A screen of the size given, the application scaled as a user's setting scales it.
        QTemporaryFile screens;
        if (!screens.open())
            return 2;
        screens.write(R"({ "screens": [ { "name": "screen", "x": 0, "y": 0, "width": )" + QByteArray(argv[2])
            + R"(, "height": )" + QByteArray(argv[3]) + R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })");
        screens.flush();
        // Qt splits the platform's options at ":", a Windows drive's too: the file is named from its folder.
        const QFileInfo file(screens.fileName());
        QDir::setCurrent(file.absolutePath());
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file.fileName()));
        qputenv("QT_SCALE_FACTOR", argv[4]);
        QApplication app(argc, argv);
        const QStringList unreachable = unreachableButtons();
        QTextStream(stdout) << unreachable.join(u'\n') << Qt::endl;
        return int(unreachable.size());
    }
    QApplication app(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
