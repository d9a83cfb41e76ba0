#pragma once
// frmMain, the crawl's control panel and the engine's host: buttons that start, resume and stop a
// crawl and open the settings, list pages and file manager; six counters, the start and end times,
// the address being worked on and a progress bar. A crawl runs inside the click handler that
// started it and yields here, so Stop and the rest of the window stay live.

#include "crawl/crawlcontext.h"
#include "crawl/crawlhost.h"
#include "crawl/crawlrun.h"
#include "crawl/crawlstate.h"
#include "transfer/lookaheadtransfercontrol.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class Shell;
class SettingsStore;
class DirDialog;
class DeepAddrDialog;
class GetHttpAddrDialog;
class GetRestartListDialog;
class GetReStartFormDialog;
class SettingDialog;
class MakeListDirDialog;
class MakeGraphViewDialog;
struct DialogEnvironment;

// Its controls are built in mainwindowcontrols.cpp, and what it does as the host in mainwindowhost.cpp.
class MainWindow : public QMainWindow, public CrawlHost {
    Q_OBJECT
public:
    MainWindow(SettingsStore& settings, Shell& shell, const Clock& clock, QWidget* parent = nullptr);
    ~MainWindow() override;

    // CrawlHost
    void yield() override;
    bool askOkCancel(const QString& text) override;
    void showMessage(const QString& text) override;
    void setCounter(Counter counter, qint64 value) override;
    void setCurrentAddress(const QString& text) override;
    void setCaption(const QString& caption) override;
    void stepProgress() override;
    void resetProgress() override;
    void openDocument(const QString& path) override;

    CrawlState& crawlState() { return m_state; }
    // The download list; refused while one is being built (a nested request cannot wait for it).
    void showDownloadList();
    bool crawlRunning() const { return m_running; }
    // How the last crawl started by Get Files or Resume ended.
    CrawlOutcome lastOutcome() const { return m_lastOutcome; }
    // Run instead of ending the process when the window is closed during a crawl (tests).
    void setAbandonHandler(std::function<void()> handler) { m_abandon = std::move(handler); }
    // How the end of a crawl is announced while the window is not active; a desktop notification
    // where the desktop offers one, unless replaced (tests).
    void setNotifier(std::function<void(const QString&)> notifier) { m_notify = std::move(notifier); }
    // Brings the window to the front, as when a second copy of the program is started.
    void bringToFront();

protected:
    void closeEvent(QCloseEvent* event) override;
    // An address dropped onto the window starts a new download with it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void setRunning(bool running);
    void getFilesClicked();
    void resumeClicked();
    // Runs a crawl that the dialogs have confirmed, with its times, elapsed time and end summary.
    void runConfirmed(const std::function<CrawlOutcome()>& crawl);
    void announceEnd(const CrawlOutcome& outcome);
    void showElapsed();
    // How long the run has taken, less the time its messages were open.
    qint64 runMs() const;
    void updateTitle();
    void exploreClicked();
    // Tells the user that path could not be opened, with the path to copy.
    void reportUnopened(const QString& message, const QString& path);
    void stampTime(QLabel* label, const QString& prefix);

    SettingsStore& m_settings;
    Shell& m_shell;
    const Clock& m_clock;
    CrawlState m_state;
    CrawlOutcome m_lastOutcome;
    LookAheadTransferControl m_transfer;
    CrawlContext m_context;
    bool m_running = false;
    bool m_listBuilding = false;
    std::function<void()> m_abandon;
    std::function<void(const QString&)> m_notify;
    // The state shown in the title while a crawl works ("ダウンロード中", "検査中"); empty when idle.
    QString m_titleState;
    QElapsedTimer m_runTime;
    qint64 m_pausedMs = 0; // of the run, while a message was open
    QTimer m_ticker;

    std::unique_ptr<DirDialog> m_dirDialog;
    std::unique_ptr<DialogEnvironment> m_environment;
    std::unique_ptr<DeepAddrDialog> m_deepDialog;
    std::unique_ptr<GetHttpAddrDialog> m_addressDialog;
    std::unique_ptr<GetRestartListDialog> m_restartList;
    std::unique_ptr<GetReStartFormDialog> m_restartForm;
    std::unique_ptr<SettingDialog> m_settingDialog;
    std::unique_ptr<MakeListDirDialog> m_listDirDialog;
    std::unique_ptr<MakeGraphViewDialog> m_graphViewDialog;

    QPushButton* m_getFiles = nullptr;
    QPushButton* m_resume = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QPushButton* m_listButton = nullptr;
    std::array<QLabel*, CounterCount> m_counts {};
    QLabel* m_time1 = nullptr;
    QLabel* m_time2 = nullptr;
    QLabel* m_comment = nullptr;
    QLabel* m_elapsed = nullptr;
    QLabel* m_summary = nullptr;
    QProgressBar* m_progress = nullptr;
};
