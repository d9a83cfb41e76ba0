#include "app/mainwindow.h"

#include "app/appicon.h"
#include "app/desktopnotice.h"
#include "app/droppedaddress.h"
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
#include "platform/filesystem.h"
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
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// Hours, minutes and seconds, as a clock shows them: 0:05:09.
QString durationText(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    return u"%1:%2:%3"_s.arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
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
    m_notify = [this](const QString& text) { NotifyOnDesktop(this, text); };
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
    if (const QString abandoned = m_settings.text(SettingsKeys::AbandonedSite); !abandoned.isEmpty()) {
        m_comment->setText(abandoned + u" のダウンロードは途中で終了しました。再開で続きから取得できます。"_s);
        m_settings.save(SettingsKeys::AbandonedSite, QString());
    }
}

MainWindow::~MainWindow()
{
    m_transfer.setStateHandler({});
}

void MainWindow::stampTime(QLabel* label, const QString& prefix)
{
    label->setText(prefix + LongTimeText(m_clock.now().time()));
    label->repaint();
}

void MainWindow::getFilesClicked()
{
    setRunning(true);
    // Nothing runs yet while the address and options dialogs are open: there is nothing to stop.
    m_stop->setEnabled(false);
    m_state.StopRequested = false;
    m_addressDialog->exec();
    if (!m_state.StopRequested) {
        m_stop->setEnabled(true);
        runConfirmed([this] {
            QString top = m_addressDialog->sitesTopAddr();
            return StartCrawl(m_context, top);
        });
    }
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
    // Nothing of the last run stays on screen: a run that fails before it begins shows no old figure.
    m_comment->clear();
    m_state.Counters.clear();
    m_state.RobotsRefusals = 0;
    for (const Counter counter : AllCounters)
        setCounter(counter, 0);
    m_runTime.start();
    m_pausedMs = 0;
    showElapsed();
    m_ticker.start();
    stepProgress();
    m_lastOutcome = crawl();
    m_ticker.stop();
    resetProgress();
    showElapsed();
    stampTime(m_time2, u"終了時間 "_s);
    announceEnd(m_lastOutcome);
}

qint64 MainWindow::runMs() const
{
    return m_runTime.elapsed() - m_pausedMs;
}

void MainWindow::showElapsed()
{
    m_elapsed->setText(u"経過時間 "_s + durationText(runMs()));
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
        // Why, in both places, whether or not the run began.
        m_comment->setText(outcome.reason.section(u'\n', 0, 0));
        ending = u"失敗（"_s + m_comment->text() + u"）"_s;
        break;
    case CrawlOutcome::Declined:
    case CrawlOutcome::InUse:
        return; // nothing ran; the user has just answered or been told
    }
    const CrawlCounters& counters = m_state.Counters;
    // robots.txt's refusals count as failures, as they always have; how many of them are told apart.
    QString failures = QString::number(counters[Counter::Failure]);
    if (m_state.RobotsRefusals > 0)
        failures += u"件（うちrobots.txtで禁止 %1"_s.arg(m_state.RobotsRefusals) + u"件）"_s;
    else
        failures += u"件"_s;
    const QString summary = u"%1　ダウンロード %2件、障害 %3、エラーレスポンス %4件、経過時間 %5"_s.arg(ending)
                                .arg(counters[Counter::Download])
                                .arg(failures)
                                .arg(counters[Counter::ErrorResponse])
                                .arg(durationText(runMs()));
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
    if (!m_running && !DroppedAddress(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString address = DroppedAddress(event->mimeData());
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
    QMessageBox box(
        QMessageBox::Information, ProductName, message + u"\n"_s + ToNativeSeparators(path), QMessageBox::Ok, this);
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
        // continues from the last resume record, as the next start tells.
        if (!m_state.TopAddr.isEmpty())
            m_settings.save(SettingsKeys::AbandonedSite, m_state.TopAddr);
        if (m_abandon) {
            m_abandon();
            event->accept();
            return;
        }
        std::_Exit(0);
    }
    event->accept();
}
