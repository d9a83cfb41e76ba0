#include "app/mainwindow.h"

#include "address/addressfunctions.h"
#include "app/appicon.h"
#include "crawl/crawlrun.h"
#include "crawl/transport.h"
#include "dialogs/deepaddrdialog.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dirdialog.h"
#include "dialogs/gethttpaddrdialog.h"
#include "dialogs/getrestartformdialog.h"
#include "dialogs/getrestartlistdialog.h"
#include "dialogs/makegraphviewdialog.h"
#include "dialogs/makelistdirdialog.h"
#include "dialogs/settingdialog.h"
#include "pages/downloadlist.h"
#include "platform/shell.h"
#include "platform/userfolders.h"
#include "productnames.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "storage/localpath.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

struct CounterRow {
    const char16_t* caption;
    const char16_t* toolTip;
};

constexpr CounterRow CounterRows[] = {
    { u"検出数", u"自動ダウンロードをしているサイトから検索されたファイルの数" },
    { u"ダウンロード数", u"ダウンロードしたファイルの数" },
    { u"検査済ファイル数", u"リンクがないか検索済みのファイルの数" },
    { u"障害数", u" 主に内部で発生したエラーの数 " },
    { u"予定ダウンロード数", u" ダウンロードするファイルの予定数 " },
    { u"エラーレスポンス数", u" Webサーバから取得したエラーの数 " },
};

// Hours, minutes and seconds, as a clock shows them: 0:05:09.
QString durationText(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    return u"%1:%2:%3"_s.arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

// The web address a drop carries: a link dragged from a browser, or text that is one address.
QString droppedAddress(const QMimeData* mime)
{
    if (!mime)
        return {};
    for (const QUrl& url : mime->urls())
        if (url.scheme() == u"http"_s || url.scheme() == u"https"_s)
            return url.toString();
    const QString text = mime->text().trimmed();
    if ((text.startsWith(u"http://"_s) || text.startsWith(u"https://"_s)) && !text.contains(u'\n'))
        return text;
    return {};
}

// Shown on the desktop while the window is in the background, where the desktop has a tray that
// shows messages; the taskbar entry asks for attention in any case.
void notifyOnDesktop(QWidget* window, const QString& text)
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

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QString& toolTip)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    return button;
}

} // namespace

MainWindow::MainWindow(SettingsStore& settings, Shell& shell, const Clock& clock, QWidget* parent)
    : QMainWindow(parent)
    , m_settings(settings)
    , m_shell(shell)
    , m_clock(clock)
    , m_context(m_state, *this, m_transfer, settings, clock)
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(ProductName);
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    m_notify = [this](const QString& text) { notifyOnDesktop(this, text); };
    m_ticker.setInterval(1000);
    connect(&m_ticker, &QTimer::timeout, this, &MainWindow::showElapsed);
    m_transfer.setStateHandler([this](int state) { OnTransferStateChanged(m_context, state); });

    m_dirDialog = std::make_unique<DirDialog>(this);
    m_environment = std::make_unique<DialogEnvironment>(DialogEnvironment { settings, m_state, *m_dirDialog });
    m_deepDialog = std::make_unique<DeepAddrDialog>(*m_environment, this);
    m_addressDialog = std::make_unique<GetHttpAddrDialog>(*m_environment, *m_deepDialog, this);
    m_restartList = std::make_unique<GetRestartListDialog>(*m_environment, this);
    m_restartForm = std::make_unique<GetReStartFormDialog>(*m_environment, *m_restartList, this);
    m_settingDialog = std::make_unique<SettingDialog>(*m_environment, this);
    m_listDirDialog = std::make_unique<MakeListDirDialog>(*m_environment, *this, this);
    m_graphViewDialog = std::make_unique<MakeGraphViewDialog>(*m_environment, *this, this);
    buildControls();
}

MainWindow::~MainWindow()
{
    m_transfer.setStateHandler({});
}

void MainWindow::buildControls()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* buttons = new QGridLayout;
    m_getFiles = makeButton(
        central, u"GetFiles"_s, u"ファイル取得"_s, u"新規にウエブサイトから自動ダウンロードを開始します"_s);
    m_resume = makeButton(central, u"Command2"_s, u"再開"_s, u"以前に途中停止した、自動ダウンロードを再開します"_s);
    m_stop = makeButton(central, u"StopBtm"_s, u"停止"_s, u" 自動ダウンロードしているのを停止します "_s);
    m_settingsButton
        = makeButton(central, u"Command1"_s, u"設定"_s, u"接続設定や内部で使用するバッファの量を指定します"_s);
    auto* listView = m_listButton = makeButton(
        central, u"IEView"_s, u"一覧表示"_s, u"現在・直前にダウンロードしたファイルをIEでリスト表示します。"_s);
    auto* dirList = makeButton(central, u"Command3"_s, u" ディリクトリ    一覧表示"_s,
        u"指定したフォルダにあるファイルをIEでリスト表示します。"_s);
    auto* imageList = makeButton(central, u"Command4"_s, u"    画像の      一覧表示"_s,
        u"指定したフォルダにある画像ファイルをIEでリスト表示します。"_s);
    auto* explore
        = makeButton(central, u"run_exp"_s, u"ｴｸｽﾌﾟﾛｰﾗ"_s, u"エクスプローラで保存先のディレクトリを開きます"_s);
    buttons->addWidget(m_getFiles, 0, 0);
    buttons->addWidget(m_resume, 0, 1);
    buttons->addWidget(m_stop, 0, 2);
    buttons->addWidget(m_settingsButton, 0, 3);
    buttons->addWidget(listView, 1, 0);
    buttons->addWidget(dirList, 1, 1);
    buttons->addWidget(imageList, 1, 2);
    buttons->addWidget(explore, 1, 3);
    buttons->setColumnStretch(4, 1);
    layout->addLayout(buttons);

    // Captions and values in two groups of three; the values keep beside their captions at any
    // width, and the space to the right takes what the window adds.
    auto* counters = new QGridLayout;
    const int valueWidth = fontMetrics().horizontalAdvance(u"00000000"_s);
    for (int i = 1; i <= 6; ++i) {
        auto* label = new QLabel(QString::fromUtf16(CounterRows[i - 1].caption), central);
        label->setObjectName(u"Label%1"_s.arg(i));
        label->setToolTip(QString::fromUtf16(CounterRows[i - 1].toolTip));
        auto* count = new QLabel(u"0"_s, central);
        count->setObjectName(u"Count%1"_s.arg(i));
        count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        count->setMinimumWidth(valueWidth);
        m_counts[size_t(i - 1)] = count;
        const int row = (i - 1) % 3;
        const int column = (i - 1) / 3 * 3;
        counters->addWidget(label, row, column);
        counters->addWidget(count, row, column + 1);
    }
    counters->setColumnMinimumWidth(2, 4 * fontMetrics().averageCharWidth());
    counters->setColumnStretch(5, 1);
    layout->addLayout(counters);

    m_time1 = new QLabel(u"開始時間"_s, central);
    m_time1->setObjectName(u"time1"_s);
    m_time2 = new QLabel(u"終了時間"_s, central);
    m_time2->setObjectName(u"time2"_s);
    m_elapsed = new QLabel(central);
    m_elapsed->setObjectName(u"ElapsedTime"_s);
    auto* times = new QHBoxLayout;
    times->addWidget(m_time1);
    times->addWidget(m_time2);
    times->addWidget(m_elapsed);
    times->addStretch(1);
    layout->addLayout(times);

    m_comment = new QLabel(central);
    m_comment->setObjectName(u"CommentLabel"_s);
    m_comment->setToolTip(u"現在取得中のアドレス"_s);
    m_comment->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_comment->setMinimumWidth(0);
    m_comment->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_comment);

    m_progress = new QProgressBar(central);
    m_progress->setObjectName(u"ProgressBar1"_s);
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    layout->addWidget(m_progress);
    // How the last crawl ended, in one line that stays until the next one starts.
    m_summary = new QLabel(central);
    m_summary->setObjectName(u"Summary"_s);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_summary);
    layout->addStretch();
    setCentralWidget(central);

    connect(m_getFiles, &QPushButton::clicked, this, &MainWindow::getFilesClicked);
    connect(m_resume, &QPushButton::clicked, this, &MainWindow::resumeClicked);
    connect(m_stop, &QPushButton::clicked, this, [this] { m_state.StopRequested = true; });
    connect(m_settingsButton, &QPushButton::clicked, this, [this] { m_settingDialog->exec(); });
    connect(explore, &QPushButton::clicked, this, &MainWindow::exploreClicked);
    connect(listView, &QPushButton::clicked, this, &MainWindow::showDownloadList);
    connect(dirList, &QPushButton::clicked, this, [this] { m_listDirDialog->exec(); });
    connect(imageList, &QPushButton::clicked, this, [this] { m_graphViewDialog->exec(); });
    m_context.listDisplay = [this] { showDownloadList(); };
    m_stop->setEnabled(false);
    resize(560, 300);
}

void MainWindow::setRunning(bool running)
{
    m_running = running;
    m_getFiles->setEnabled(!running);
    m_settingsButton->setEnabled(!running);
    m_resume->setEnabled(!running);
    m_stop->setEnabled(running);
}

void MainWindow::stampTime(QLabel* label, const QString& prefix)
{
    label->setText(prefix + LongTimeText(m_clock.now().time()));
    label->repaint();
}

void MainWindow::getFilesClicked()
{
    setRunning(true);
    m_state.StopRequested = false;
    m_addressDialog->exec();
    if (!m_state.StopRequested)
        runConfirmed([this] {
            QString top = m_addressDialog->sitesTopAddr();
            return StartCrawl(m_context, top);
        });
    setRunning(false);
}

void MainWindow::resumeClicked()
{
    setRunning(true);
    // Nothing runs yet while the resume dialogs are open: there is nothing to stop.
    m_stop->setEnabled(false);
    m_state.StopRequested = false;
    m_restartForm->exec();
    if (!m_state.StopRequested) {
        m_stop->setEnabled(true);
        runConfirmed([this] {
            m_state.SaveDir = m_restartForm->savePath();
            m_state.SiteDir = SiteDirOf(m_state.SaveDir, m_restartList->selectedAddress());
            return ResumeCrawl(m_context, m_state.SiteDir);
        });
    }
    setRunning(false);
}

void MainWindow::runConfirmed(const std::function<CrawlOutcome()>& crawl)
{
    stampTime(m_time1, u"開始時間 "_s);
    m_time2->setText(u"終了時間 "_s);
    m_summary->clear();
    m_runTime.start();
    showElapsed();
    m_ticker.start();
    m_lastOutcome = crawl();
    m_ticker.stop();
    showElapsed();
    stampTime(m_time2, u"終了時間 "_s);
    announceEnd(m_lastOutcome);
}

void MainWindow::showElapsed()
{
    m_elapsed->setText(u"経過時間 "_s + durationText(m_runTime.elapsed()));
}

void MainWindow::announceEnd(const CrawlOutcome& outcome)
{
    QString ending;
    switch (outcome.kind) {
    case CrawlOutcome::Finished:
    case CrawlOutcome::Stopped:
        ending = outcome.caption();
        break;
    case CrawlOutcome::Failed:
        ending = u"失敗"_s;
        break;
    case CrawlOutcome::Declined:
    case CrawlOutcome::InUse:
        return; // nothing ran; the user has just answered or been told
    }
    const CrawlCounters& counters = m_state.Counters;
    const QString summary = u"%1　ダウンロード %2件、障害 %3件、エラーレスポンス %4件、経過時間 %5"_s.arg(ending)
                                .arg(counters[Counter::Download])
                                .arg(counters[Counter::Failure])
                                .arg(counters[Counter::ErrorResponse])
                                .arg(durationText(m_runTime.elapsed()));
    m_summary->setText(summary);
    if (!isActiveWindow() && m_notify)
        m_notify(summary);
}

void MainWindow::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_running && !droppedAddress(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString address = droppedAddress(event->mimeData());
    if (m_running || address.isEmpty())
        return;
    event->acceptProposedAction();
    m_addressDialog->presetAddress(address);
    // The dialogs open once the drop has returned to the window system.
    QTimer::singleShot(0, this, &MainWindow::getFilesClicked);
}

void MainWindow::exploreClicked()
{
    // No stored folder: the folder a relative one is taken from (home on Linux).
    QString folder = ResolveUserFolder(m_settings.text(SettingsKeys::SaveFolder));
    if (folder.isEmpty())
        folder = QDir::toNativeSeparators(UserFolderBase());
    if (!m_shell.exploreFolder(folder))
        reportUnopened(u"フォルダを開けませんでした。次のフォルダを開いてください。"_s, folder);
}

void MainWindow::reportUnopened(const QString& message, const QString& path)
{
    // The path is selectable, so the user can copy it into a browser or file manager.
    QMessageBox box(QMessageBox::Information, ProductName, message + u"\n"_s + path, QMessageBox::Ok, this);
    box.setObjectName(u"UnopenedPath"_s);
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
}

void MainWindow::showDownloadList()
{
    if (m_listBuilding)
        return;
    m_listBuilding = true;
    m_listButton->setEnabled(false);
    IEView_Click(m_settings, *this);
    m_listButton->setEnabled(true);
    m_listBuilding = false;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    m_state.StopRequested = true;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window != this && window->isVisible())
            window->hide();
    if (m_running) {
        // The run is abandoned where it stands; every record on disk is whole, and a resume
        // continues from the last resume record.
        if (m_abandon) {
            m_abandon();
            event->accept();
            return;
        }
        std::_Exit(0);
    }
    event->accept();
}

void MainWindow::yield()
{
    QCoreApplication::processEvents();
}

bool MainWindow::askOkCancel(const QString& text)
{
    return QMessageBox::question(this, ProductName, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
        == QMessageBox::Ok;
}

void MainWindow::showMessage(const QString& text)
{
    QMessageBox::information(this, ProductName, text, QMessageBox::Ok);
}

void MainWindow::setCounter(Counter counter, qint64 value)
{
    m_counts[size_t(counter)]->setText(QString::number(value));
    if (!m_titleState.isEmpty() && (counter == Counter::Checked || counter == Counter::Detect))
        updateTitle();
}

void MainWindow::setCurrentAddress(const QString& text)
{
    m_comment->setText(text);
    m_comment->repaint();
}

void MainWindow::setCaption(const QString& caption)
{
    m_titleState = caption == ProductName ? QString() : caption;
    updateTitle();
}

void MainWindow::updateTitle()
{
    // While a crawl works: what it does and how far it is, records dealt with of those found.
    if (m_titleState.isEmpty()) {
        setWindowTitle(ProductName);
        return;
    }
    const CrawlCounters& counters = m_state.Counters;
    setWindowTitle(u"%1 - %2 %3/%4"_s.arg(ProductName, m_titleState)
                       .arg(counters[Counter::Checked])
                       .arg(counters[Counter::Detect]));
}

void MainWindow::stepProgress()
{
    if (m_progress->value() + 1 >= m_progress->maximum())
        m_progress->setValue(m_progress->minimum());
    m_progress->setValue(m_progress->value() + 1);
}

void MainWindow::resetProgress()
{
    m_progress->setValue(m_progress->minimum());
    repaint();
}

void MainWindow::openDocument(const QString& path)
{
    // The pages are written whether or not a browser comes up; the user must learn where they are.
    if (!m_shell.openDocument(path))
        reportUnopened(u"ページをブラウザで開けませんでした。次のファイルを開いてください。"_s, path);
}
