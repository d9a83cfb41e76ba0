#pragma once
// The crawl's host on a terminal: a status line that rewrites itself a few times a second with the
// six counters and the current address (nothing on a pipe), questions asked on the terminal,
// messages on standard error, documents opened unless told not to. Ctrl-C and SIGTERM act as the
// Stop button; a second Ctrl-C ends the program at once.

#include "crawl/crawlhost.h"

#include <QElapsedTimer>
#include <array>

class Shell;
struct CrawlState;

class TerminalHost final : public CrawlHost {
public:
    TerminalHost(Shell& shell, bool interactive, bool answerYes, bool openDocuments);

    // Makes SIGINT and SIGTERM request a stop of state's crawl.
    void watchSignals(CrawlState& state);

    void yield() override;
    bool askOkCancel(const QString& text) override;
    void showMessage(const QString& text) override;
    bool mayReplaceFiles(const QStringList& paths) override;
    void setCounter(Counter counter, qint64 value) override;
    void setCurrentAddress(const QString& text) override;
    void setCaption(const QString&) override { }
    void stepProgress() override { }
    void resetProgress() override { }
    void openDocument(const QString& path) override;

    qint64 counter(Counter which) const { return m_counters[size_t(which)]; }
    bool messageShown() const { return m_messageShown; }
    // The counters by their labels, one line.
    QString countersLine() const;
    // Clears the status line before other output.
    void endStatusLine();

private:
    void drawStatus(bool force);
    QString clearedLine(const QString& line);

    Shell& m_shell;
    bool m_interactive;
    bool m_answerYes;
    bool m_openDocuments;
    CrawlState* m_state = nullptr;
    std::array<qint64, CounterCount> m_counters {};
    QString m_address;
    bool m_messageShown = false;
    bool m_statusShown = false;
    bool m_stale = false; // the status changed since it was last drawn
    qsizetype m_shownWidth = 0; // the columns the status line took when last drawn
    QElapsedTimer m_sinceDrawn;
    QElapsedTimer m_sinceEvents;
};
