#pragma once
// What the engine asks of whoever shows it: the main window, the command line, or a test's recorder.
// The crawl runs on the caller's thread and calls yield() at fixed points so the host stays live.

#include <QString>

class CrawlHost {
public:
    // The six counters, in the order of the main window's counter labels Count1 to Count6.
    enum Counter : int { Detect = 1, Download = 2, Checked = 3, Failure = 4, Planned = 5, ErrorResponse = 6 };

    virtual ~CrawlHost() = default;

    // Lets pending window events run without blocking.
    virtual void yield() = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool askOkCancel(const QString& text) = 0;
    // A message with an OK button.
    virtual void showMessage(const QString& text) = 0;
    virtual void setCounter(Counter counter, qint64 value) = 0;
    // The current-address label (also "中断" or "終了" after a run).
    virtual void setCurrentAddress(const QString& text) = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual void stepProgress() = 0;
    virtual void resetProgress() = 0;
    // Opens a document or folder with the desktop's default handler.
    virtual void openDocument(const QString& path) = 0;
};
