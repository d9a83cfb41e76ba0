// The main window driven as a user would, on the offscreen platform: its captions, a crawl started
// from Get Files through both dialogs, Stop during a run, a resume through the resume dialogs, and
// closing the window in mid-run.
#include "app/mainwindow.h"
#include "platform/shell.h"
#include "records/logs.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "storage/partfile.h"

#include "support/crawlharness.h"
#include "support/fixedclock.h"
#include "support/gui/messageboxes.h"
#include "support/gui/modaldialogs.h"
#include "support/scriptedhttpserver.h"
#include "support/temphome.h"
#include "support/tempsettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

class RecordingShell final : public Shell {
public:
    bool openDocument(const QString& path) override
    {
        opened.append(path);
        return desktopAnswers;
    }
    bool exploreFolder(const QString& path) override
    {
        explored.append(path);
        return desktopAnswers;
    }
    QStringList opened;
    QStringList explored;
    // false: as on a machine where no browser or file manager can be started.
    bool desktopAnswers = true;
};

// The main window's own controls; its dialogs are its children too and reuse some names.
QWidget* panel(QWidget* window)
{
    auto* main = qobject_cast<QMainWindow*>(window);
    return main ? main->centralWidget() : window;
}

void click(QWidget* parent, const QString& name)
{
    auto* button = panel(parent)->findChild<QPushButton*>(name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton);
}

void type(QWidget* parent, const QString& name, const QString& text)
{
    auto* box = parent->findChild<QLineEdit*>(name);
    QVERIFY2(box, qPrintable(name));
    box->setText(text);
}

QString labelText(QWidget* window, const QString& name)
{
    auto* label = panel(window)->findChild<QLabel*>(name);
    return label ? label->text() : u"(missing)"_s;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void captionsAndToolTips_data();
    void captionsAndToolTips();
    void opensIdle();
    void explorerOpensTheHomeFolderWithoutASavedOne();
    void whatCannotBeOpenedIsShownWithItsPath_data();
    void whatCannotBeOpenedIsShownWithItsPath();
    void countersStayBesideTheirCaptions_data();
    void countersStayBesideTheirCaptions();
    void aCrawlFromGetFiles();
    void aTopPageThatFailsIsToldNotFinished();
    void anAddressDroppedOnTheWindowStartsAGetFiles();
    void cancellingTheAddressDialogChangesNothing();
    void stopDuringARunThenResume();
    void closingTheWindowInMidRunAbandonsTheRun();
    void theListOpensAfterARunAndFromItsButton();
    void aSecondListRequestDuringABuildIsRefused();
    void folderAndImageListsFromTheirButtons_data();
    void folderAndImageListsFromTheirButtons();

private:
    void answerCrawlDialogs(const QString& address);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
    RecordingShell m_shell;
    FixedClock m_clock;
    AppendFiles m_logs;
    std::unique_ptr<MainWindow> m_window;
    QString m_saveDir;
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<SettingsStore>(m_dir->filePath(u"s.conf"_s));
    m_server = std::make_unique<ScriptedHttpServer>();
    QVERIFY(m_server->start());
    m_shell = RecordingShell();
    m_window = std::make_unique<MainWindow>(*m_settings, m_shell, m_clock);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_saveDir = m_dir->filePath(u"save"_s);
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_server.reset();
}

void TestMainWindow::captionsAndToolTips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("get files") << u"GetFiles"_s << u"ファイル取得"_s
                               << u"新規にウエブサイトから自動ダウンロードを開始します"_s;
    QTest::newRow("resume") << u"Command2"_s << u"再開"_s << u"以前に途中停止した、自動ダウンロードを再開します"_s;
    QTest::newRow("stop") << u"StopBtm"_s << u"停止"_s << u" 自動ダウンロードしているのを停止します "_s;
    QTest::newRow("settings") << u"Command1"_s << u"設定"_s << u"接続設定や内部で使用するバッファの量を指定します"_s;
    QTest::newRow("list") << u"IEView"_s << u"一覧表示"_s
                          << u"現在・直前にダウンロードしたファイルをIEでリスト表示します。"_s;
    QTest::newRow("folder list") << u"Command3"_s << u" ディリクトリ    一覧表示"_s
                                 << u"指定したフォルダにあるファイルをIEでリスト表示します。"_s;
    QTest::newRow("image list") << u"Command4"_s << u"    画像の      一覧表示"_s
                                << u"指定したフォルダにある画像ファイルをIEでリスト表示します。"_s;
    QTest::newRow("explorer") << u"run_exp"_s << u"ｴｸｽﾌﾟﾛｰﾗ"_s << u"エクスプローラで保存先のディレクトリを開きます"_s;
    QTest::newRow("detected") << u"Label1"_s << u"検出数"_s
                              << u"自動ダウンロードをしているサイトから検索されたファイルの数"_s;
    QTest::newRow("downloaded") << u"Label2"_s << u"ダウンロード数"_s << u"ダウンロードしたファイルの数"_s;
    QTest::newRow("checked") << u"Label3"_s << u"検査済ファイル数"_s << u"リンクがないか検索済みのファイルの数"_s;
    QTest::newRow("failures") << u"Label4"_s << u"障害数"_s << u" 主に内部で発生したエラーの数 "_s;
    QTest::newRow("planned") << u"Label5"_s << u"予定ダウンロード数"_s << u" ダウンロードするファイルの予定数 "_s;
    QTest::newRow("errors") << u"Label6"_s << u"エラーレスポンス数"_s << u" Webサーバから取得したエラーの数 "_s;
    QTest::newRow("start time") << u"time1"_s << u"開始時間"_s << QString();
    QTest::newRow("end time") << u"time2"_s << u"終了時間"_s << QString();
    QTest::newRow("current address") << u"CommentLabel"_s << QString() << u"現在取得中のアドレス"_s;
}

void TestMainWindow::captionsAndToolTips()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, toolTip);
    QWidget* widget = panel(m_window.get())->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), caption);
    else
        QCOMPARE(qobject_cast<QLabel*>(widget)->text(), caption);
    QCOMPARE(widget->toolTip(), toolTip);
}

void TestMainWindow::opensIdle()
{
    QCOMPARE(m_window->objectName(), u"frmMain"_s);
    QCOMPARE(m_window->windowTitle(), u"Fetchwright"_s);
    QVERIFY(!m_window->findChild<QPushButton*>(u"StopBtm"_s)->isEnabled());
    QVERIFY(m_window->findChild<QPushButton*>(u"GetFiles"_s)->isEnabled());
    for (int i = 1; i <= 6; ++i)
        QCOMPARE(labelText(m_window.get(), u"Count%1"_s.arg(i)), u"0"_s);
    QVERIFY(m_window->findChild<QWidget*>(u"ProgressBar1"_s));
}

void TestMainWindow::explorerOpensTheHomeFolderWithoutASavedOne()
{
    TempHome home;
    click(m_window.get(), u"run_exp"_s);
    QCOMPARE(m_shell.explored, QStringList { QDir::toNativeSeparators(home.path()) });
    m_settings->save(SettingsKeys::SaveFolder, m_saveDir);
    click(m_window.get(), u"run_exp"_s);
    QCOMPARE(m_shell.explored.last(), QDir::toNativeSeparators(m_saveDir));
    // A folder stored relative (by an earlier version) is the home folder's too.
    m_settings->save(SettingsKeys::SaveFolder, u"relsave/"_s);
    click(m_window.get(), u"run_exp"_s);
    QCOMPARE(m_shell.explored.last(), home.filePath(u"relsave/"_s));
}

void TestMainWindow::whatCannotBeOpenedIsShownWithItsPath_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("message");
    QTest::newRow("the save folder from the explorer button")
        << u"folder"_s << u"フォルダを開けませんでした。次のフォルダを開いてください。"_s;
    QTest::newRow("a list page") << u"page"_s
                                 << u"ページをブラウザで開けませんでした。次のファイルを開いてください。"_s;
    QTest::newRow("the list pages of a folder from their button")
        << u"folder list"_s << u"ページをブラウザで開けませんでした。次のファイルを開いてください。"_s;
}

void TestMainWindow::whatCannotBeOpenedIsShownWithItsPath()
{
    QFETCH(QString, what);
    QFETCH(QString, message);
    m_shell.desktopAnswers = false;
    const QString folder = m_dir->filePath(u"listed #1"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString page = folder + u"/プレビュー1.html"_s;
    QString text;
    Qt::TextInteractionFlags flags;
    whenModal(u"UnopenedPath"_s, [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        text = box->text();
        flags = box->textInteractionFlags();
        box->accept();
    });
    if (what == u"folder"_s) {
        m_settings->save(SettingsKeys::SaveFolder, folder);
        click(m_window.get(), u"run_exp"_s);
    } else if (what == u"page"_s) {
        m_window->openDocument(page);
    } else {
        whenModal(u"MakeListDirDialog"_s, [folder](QWidget* dialog) {
            type(dialog, u"MakeDirPath"_s, folder);
            click(dialog, u"OKButton"_s);
        });
        click(m_window.get(), u"Command3"_s);
    }
    QCOMPARE(text, message + u"\n"_s + QDir::toNativeSeparators(what == u"folder"_s ? folder : page));
    QVERIFY(flags.testFlag(Qt::TextSelectableByMouse));
    QVERIFY(flags.testFlag(Qt::TextSelectableByKeyboard));
}

void TestMainWindow::countersStayBesideTheirCaptions_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("the window as it opens") << QSize();
    QTest::newRow("a large window") << QSize(1200, 850);
}

void TestMainWindow::countersStayBesideTheirCaptions()
{
    QFETCH(QSize, size);
    if (size.isValid())
        m_window->resize(size);
    QTest::qWait(0);
    QWidget* central = panel(m_window.get());
    const int width = central->width();
    for (int i = 1; i <= 6; ++i) {
        auto* caption = central->findChild<QLabel*>(u"Label%1"_s.arg(i));
        auto* count = central->findChild<QLabel*>(u"Count%1"_s.arg(i));
        const QRect captionBox = caption->geometry();
        const QRect countBox = count->geometry();
        // The value ends within a few characters of where its caption's text ends.
        const int captionEnd = captionBox.left() + caption->fontMetrics().horizontalAdvance(caption->text());
        QCOMPARE(countBox.top(), captionBox.top());
        QVERIFY2(countBox.left() > captionEnd - 1, qPrintable(u"Count%1 overlaps its caption"_s.arg(i)));
        QVERIFY2(countBox.right() - captionEnd < 200,
            qPrintable(u"Count%1 ends %2 px after its caption"_s.arg(i).arg(countBox.right() - captionEnd)));
    }
    // The extra width goes to the address line and the progress bar.
    for (const QString& name : { u"CommentLabel"_s, u"ProgressBar1"_s })
        QVERIFY2(central->findChild<QWidget*>(name)->width() > width - 40, qPrintable(name));
}

void TestMainWindow::answerCrawlDialogs(const QString& address)
{
    const QString saveDir = m_saveDir;
    whenModal(u"GetHttpAddrDialog"_s, [address, saveDir](QWidget* dialog) {
        // Nothing runs yet: there is nothing to stop.
        QVERIFY(!dialog->parentWidget()->findChild<QPushButton*>(u"StopBtm"_s)->isEnabled());
        type(dialog, u"SiteAddress"_s, address);
        type(dialog, u"SavePath"_s, saveDir);
        MessageBoxAnswer create(QMessageBox::Ok); // the missing save folder is created
        click(dialog, u"OKButton"_s);
    });
    whenModal(u"DeepAddrDialog"_s, [](QWidget* dialog) {
        dialog->findChild<QCheckBox*>(u"ListViewCheck"_s)->setChecked(false);
        click(dialog, u"OKButton"_s);
    });
}

void TestMainWindow::aCrawlFromGetFiles()
{
    m_server->route("/",
        { ScriptedHttpServer::response(
            200, "OK", { { "Content-Type", "text/html" } }, "<a href=a.gif>a</a><img src=\"b.jpg\">") });
    m_server->route("/a.gif", { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" } }, "aaa") });
    m_server->route("/b.jpg", { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/jpeg" } }, "bb") });
    answerCrawlDialogs(m_server->url(u"/"_s));
    click(m_window.get(), u"GetFiles"_s);

    QCOMPARE(labelText(m_window.get(), u"CommentLabel"_s), u"終了"_s);
    QCOMPARE(labelText(m_window.get(), u"Count1"_s), u"3"_s);
    QCOMPARE(labelText(m_window.get(), u"Count2"_s), u"2"_s);
    QCOMPARE(labelText(m_window.get(), u"Count3"_s), u"3"_s);
    QCOMPARE(labelText(m_window.get(), u"time1"_s), u"開始時間 9:05:03"_s);
    QCOMPARE(labelText(m_window.get(), u"time2"_s), u"終了時間 9:05:03"_s);
    QCOMPARE(m_window->windowTitle(), u"Fetchwright"_s);
    QVERIFY2(labelText(m_window.get(), u"Summary"_s)
                 .startsWith(u"終了　ダウンロード 2件、障害 0件、エラーレスポンス 0件、経過時間 0:00:0"_s),
        qPrintable(labelText(m_window.get(), u"Summary"_s)));
    QVERIFY(labelText(m_window.get(), u"ElapsedTime"_s).startsWith(u"経過時間 0:00:0"_s));
    const QProgressBar* bar = m_window->findChild<QProgressBar*>(u"ProgressBar1"_s);
    QVERIFY(bar->maximum() > 0 && bar->value() == 0); // empty at the end
    QVERIFY(!m_window->findChild<QPushButton*>(u"StopBtm"_s)->isEnabled());
    QVERIFY(m_window->findChild<QPushButton*>(u"GetFiles"_s)->isEnabled());
    const QString site = m_saveDir + u"/127.0.0.1."_s + QString::number(m_server->port());
    QCOMPARE(MirroredFiles(site), (QMap<QString, QByteArray> { { u"a.gif"_s, "aaa"_ba }, { u"b.jpg"_s, "bb"_ba } }));

    // robots.txt's refusals are failures, told apart in the summary.
    m_server->route("/robots.txt", { ScriptedHttpServer::response(200, "OK", {}, "User-agent: *\nDisallow: /b\n") });
    m_settings->save(SettingsKeys::FollowRobots, 1);
    answerCrawlDialogs(m_server->url(u"/"_s));
    click(m_window.get(), u"GetFiles"_s);
    QVERIFY2(labelText(m_window.get(), u"Summary"_s)
                 .startsWith(u"終了　ダウンロード 0件、障害 1件（うちrobots.txtで禁止 1件）、エラーレスポンス 0件"_s),
        qPrintable(labelText(m_window.get(), u"Summary"_s)));

    // A run that fails before it begins leaves none of the last one's figures on screen, and the
    // time its message stays open is not counted.
    m_server->route("/robots.txt", { ScriptedHttpServer::response(200, "OK", {}, "User-agent: *\nDisallow: /\n") });
    answerCrawlDialogs(m_server->url(u"/"_s));
    MessageBoxAnswer reason(QMessageBox::Ok, 1, 1200);
    click(m_window.get(), u"GetFiles"_s);
    QCOMPARE(reason.icons(), QList<QMessageBox::Icon> { QMessageBox::Critical });
    QCOMPARE(labelText(m_window.get(), u"ElapsedTime"_s), u"経過時間 0:00:00"_s);
    QCOMPARE(labelText(m_window.get(), u"CommentLabel"_s), u"robots.txtで禁止されています"_s);
    QCOMPARE(labelText(m_window.get(), u"Count2"_s), u"0"_s);
    QVERIFY(labelText(m_window.get(), u"Summary"_s)
                .startsWith(u"失敗（robots.txtで禁止されています）　ダウンロード 0件、障害 0件"_s));
}

void TestMainWindow::aTopPageThatFailsIsToldNotFinished()
{
    m_server->route("/", { ScriptedHttpServer::response(404, "Not Found") });
    QVERIFY(QDir().mkpath(m_saveDir)); // no question about the folder before the one told
    answerCrawlDialogs(m_server->url(u"/"_s));
    MessageBoxAnswer reason(QMessageBox::Ok);
    click(m_window.get(), u"GetFiles"_s);
    QCOMPARE(m_window->lastOutcome().kind, CrawlOutcome::Failed);
    QCOMPARE(reason.texts(), QStringList { m_window->lastOutcome().reason });
    QVERIFY(reason.texts().value(0).endsWith(u"HTTP/1.1 404 Not Found"_s));
    QCOMPARE(labelText(m_window.get(), u"CommentLabel"_s), u"トップページを取得できませんでした。"_s);
    QVERIFY2(
        labelText(m_window.get(), u"Summary"_s)
            .startsWith(
                u"失敗（トップページを取得できませんでした。）　ダウンロード 0件、障害 0件、エラーレスポンス 1件"_s),
        qPrintable(labelText(m_window.get(), u"Summary"_s)));
    QVERIFY(m_shell.opened.isEmpty());
}

void TestMainWindow::anAddressDroppedOnTheWindowStartsAGetFiles()
{
    QString offered;
    whenModal(u"GetHttpAddrDialog"_s, [&offered](QWidget* dialog) {
        offered = dialog->findChild<QLineEdit*>(u"SiteAddress"_s)->text();
        click(dialog, u"CancelButton"_s);
    });
    QMimeData mime;
    mime.setText(u" http://dropped.example/top/ \n"_s);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &drop);
    QTRY_COMPARE(offered, u"http://dropped.example/top/"_s);
    QTRY_VERIFY(m_window->findChild<QPushButton*>(u"GetFiles"_s)->isEnabled());
}

void TestMainWindow::cancellingTheAddressDialogChangesNothing()
{
    whenModal(u"GetHttpAddrDialog"_s, [](QWidget* dialog) { click(dialog, u"CancelButton"_s); });
    click(m_window.get(), u"GetFiles"_s);
    QCOMPARE(labelText(m_window.get(), u"time1"_s), u"開始時間"_s);
    QCOMPARE(labelText(m_window.get(), u"Count1"_s), u"0"_s);
    QCOMPARE(m_server->requests().size(), 0);
    QVERIFY(m_window->findChild<QPushButton*>(u"GetFiles"_s)->isEnabled());
    QVERIFY(!m_window->findChild<QPushButton*>(u"StopBtm"_s)->isEnabled());
}

void TestMainWindow::stopDuringARunThenResume()
{
    const QByteArray body(60000, 'z');
    m_server->route("/",
        { ScriptedHttpServer::response(
            200, "OK", { { "Content-Type", "text/html" } }, "<a href=big.gif>a</a><a href=c.gif>c</a>") });
    ScriptedHttpServer::Reply slow { ScriptedHttpServer::response(
        200, "OK", { { "Content-Type", "image/gif" } }, body) };
    slow.chunkSize = 3000;
    slow.chunkPauseMs = 10;
    m_server->route("/big.gif", slow);
    m_server->route("/c.gif", { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" } }, "c") });
    answerCrawlDialogs(m_server->url(u"/"_s));
    MainWindow* window = m_window.get();
    QString title;
    QWidget elsewhere;
    QStringList notices;
    window->setNotifier([&notices](const QString& text) { notices.append(text); });
    once(
        [window] {
            return window->crawlState().LocalPath.endsWith(u"big.gif"_s)
                && QFileInfo(PartFilePath(window->crawlState().LocalPath)).size() > 0;
        },
        [window, &title, &elsewhere] {
            QVERIFY(window->findChild<QPushButton*>(u"StopBtm"_s)->isEnabled());
            QVERIFY(!window->findChild<QPushButton*>(u"GetFiles"_s)->isEnabled());
            QCOMPARE(window->findChild<QProgressBar*>(u"ProgressBar1"_s)->maximum(), 0); // busy, not a share
            title = window->windowTitle();
            // The user turns to another window while the crawl goes on.
            elsewhere.show();
            QApplication::setActiveWindow(&elsewhere);
            click(window, u"StopBtm"_s);
        });
    click(window, u"GetFiles"_s);
    QCOMPARE(title, u"Fetchwright - ダウンロード中 1/3"_s);
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices[0].startsWith(u"中断　ダウンロード 0件、障害 0件、エラーレスポンス 0件、経過時間 "_s),
        qPrintable(notices[0]));
    QCOMPARE(labelText(window, u"Summary"_s), notices[0]);
    QCOMPARE(labelText(window, u"CommentLabel"_s), u"中断"_s);
    QCOMPARE(window->lastOutcome().kind, CrawlOutcome::Stopped);
    QCOMPARE(ReadResumeList(ResumeListPath(m_saveDir + u'/')).value().size(), 1);

    const QString saveDir = m_saveDir + u'/';
    whenModal(u"GetReStartFormDialog"_s, [saveDir, window](QWidget* dialog) {
        QVERIFY(!window->findChild<QPushButton*>(u"StopBtm"_s)->isEnabled());
        type(dialog, u"SavePath"_s, saveDir);
        click(dialog, u"OKButton"_s);
    });
    whenModal(u"GetRestartListDialog"_s, [](QWidget* dialog) { click(dialog, u"OKButton"_s); });
    click(window, u"Command2"_s);
    QCOMPARE(labelText(window, u"CommentLabel"_s), u"終了"_s);
    QCOMPARE(window->lastOutcome().kind, CrawlOutcome::Finished);
    const QString site = m_saveDir + u"/127.0.0.1."_s + QString::number(m_server->port());
    QCOMPARE(MirroredFiles(site), (QMap<QString, QByteArray> { { u"big.gif"_s, body }, { u"c.gif"_s, "c"_ba } }));
    QCOMPARE(labelText(window, u"Count2"_s), u"2"_s);
}

void TestMainWindow::closingTheWindowInMidRunAbandonsTheRun()
{
    m_server->route(
        "/", { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "text/html" } }, "<a href=big.gif>a</a>") });
    ScriptedHttpServer::Reply slow { ScriptedHttpServer::response(
        200, "OK", { { "Content-Type", "image/gif" } }, QByteArray(60000, 'y')) };
    slow.chunkSize = 3000;
    slow.chunkPauseMs = 10;
    m_server->route("/big.gif", slow);
    answerCrawlDialogs(m_server->url(u"/"_s));
    MainWindow* window = m_window.get();
    bool abandoned = false;
    window->setAbandonHandler([&abandoned] { abandoned = true; });
    once([window] { return QFileInfo(PartFilePath(window->crawlState().LocalPath)).size() > 0; },
        [window] { window->close(); });
    click(window, u"GetFiles"_s);
    QVERIFY(abandoned);
    QVERIFY(window->crawlState().StopRequested);
    QCOMPARE(ReadResumeList(ResumeListPath(m_saveDir + u'/')).value().size(), 1);
    // The next start says that 再開 continues it, once.
    m_window = std::make_unique<MainWindow>(*m_settings, m_shell, m_clock);
    QCOMPARE(labelText(m_window.get(), u"CommentLabel"_s),
        m_server->url(u"/"_s) + u" のダウンロードは途中で終了しました。再開で続きから取得できます。"_s);
    MainWindow again(*m_settings, m_shell, m_clock);
    QCOMPARE(labelText(&again, u"CommentLabel"_s), QString());
}

void TestMainWindow::theListOpensAfterARunAndFromItsButton()
{
    m_server->route(
        "/", { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "text/html" } }, "<a href=a.gif>a</a>") });
    m_server->route("/a.gif", { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" } }, "aaa") });
    const QString saveDir = m_saveDir;
    const QString address = m_server->url(u"/"_s);
    whenModal(u"GetHttpAddrDialog"_s, [address, saveDir](QWidget* dialog) {
        type(dialog, u"SiteAddress"_s, address);
        type(dialog, u"SavePath"_s, saveDir);
        MessageBoxAnswer create(QMessageBox::Ok); // the missing save folder is created
        click(dialog, u"OKButton"_s);
    });
    whenModal(u"DeepAddrDialog"_s, [](QWidget* dialog) { click(dialog, u"OKButton"_s); });
    click(m_window.get(), u"GetFiles"_s);
    const QString page = m_saveDir + u"/127.0.0.1."_s + QString::number(m_server->port()) + u"/_プレビュー1.html"_s;
    QCOMPARE(m_shell.opened, QStringList { QDir::toNativeSeparators(page) });
    QVERIFY(QFile::exists(page));
    click(m_window.get(), u"IEView"_s);
    QCOMPARE(m_shell.opened, (QStringList { QDir::toNativeSeparators(page), QDir::toNativeSeparators(page) }));
}

void TestMainWindow::aSecondListRequestDuringABuildIsRefused()
{
    const QString site = m_saveDir + u"/h"_s;
    QVERIFY(QDir().mkpath(site));
    QVERIFY(StartLog(m_logs, site, DownloadLogName, DownloadLogHeader));
    for (int i = 0; i < 300; ++i)
        QVERIFY(WriteDownloadLogLine(m_logs, site, m_clock, u"f.gif"_s, site + u"/f.gif"_s, { u"http://h/f.gif"_s }));
    m_settings->save(SettingsKeys::SiteAddress, u"http://h/"_s);
    m_settings->save(SettingsKeys::SaveFolder, m_saveDir + u'/');
    MainWindow* window = m_window.get();
    bool nestedReturned = false;
    QTimer::singleShot(0, [window, &nestedReturned] {
        QVERIFY(!panel(window)->findChild<QPushButton*>(u"IEView"_s)->isEnabled());
        window->showDownloadList();
        nestedReturned = true;
    });
    click(window, u"IEView"_s);
    QVERIFY(nestedReturned);
    QCOMPARE(m_shell.opened.size(), 1);
    QVERIFY(panel(window)->findChild<QPushButton*>(u"IEView"_s)->isEnabled());
}

void TestMainWindow::folderAndImageListsFromTheirButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("folderBox");
    QTest::newRow("directory list") << u"Command3"_s << u"MakeListDirDialog"_s << u"MakeDirPath"_s;
    QTest::newRow("image list") << u"Command4"_s << u"MakeGraphViewDialog"_s << u"MakeGraphDirPath"_s;
}

void TestMainWindow::folderAndImageListsFromTheirButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, dialog);
    QFETCH(QString, folderBox);
    const QString folder = m_dir->filePath(u"pics"_s);
    QVERIFY(WriteFileBytes(folder + u"/a.gif"_s, "GIF89a"));
    whenModal(dialog, [folderBox, folder](QWidget* shown) {
        type(shown, folderBox, folder);
        click(shown, u"OKButton"_s);
    });
    click(m_window.get(), button);
    QCOMPARE(m_shell.opened, QStringList { QDir::toNativeSeparators(folder + u"/プレビュー1.html"_s) });
    QVERIFY(QFile::exists(folder + u"/プレビュー1.html"_s));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
