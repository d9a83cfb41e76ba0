#pragma once
// What the engine asks of whoever shows it: the main window, the command line, or a test's recorder.
// The crawl runs on the caller's thread and calls yield() at fixed points so the host stays live.

#include "records/crawlcounters.h"

#include <QString>
#include <QStringList>

class CrawlHost {
public:
    virtual ~CrawlHost() = default;

    // Lets pending window events run without blocking.
    virtual void yield() = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool askOkCancel(const QString& text) = 0;
    // A message with an OK button.
    virtual void showMessage(const QString& text) = 0;
    // Whether files of the user's (not written by this program, or by another of its lists) may be
    // replaced; asked before anything is written. A host that cannot ask says why it will not.
    virtual bool mayReplaceFiles(const QStringList& paths)
    {
        return askOkCancel(
            paths.join(u'\n') + QStringLiteral("\nは、この一覧が作ったページではありません。上書きしますか？"));
    }
    virtual void setCounter(Counter counter, qint64 value) = 0;
    // The current-address label (also "中断" or "終了" after a run).
    virtual void setCurrentAddress(const QString& text) = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual void stepProgress() = 0;
    virtual void resetProgress() = 0;
    // Opens a document or folder with the desktop's default handler.
    virtual void openDocument(const QString& path) = 0;
};
