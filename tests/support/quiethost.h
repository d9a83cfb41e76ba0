#pragma once
// A host that shows nothing: it lets pending events run, answers every question OK and writes
// messages to standard error.

#include "crawl/crawlhost.h"

#include <QCoreApplication>
#include <QTextStream>

class QuietHost final : public CrawlHost {
public:
    void yield() override { QCoreApplication::processEvents(); }
    bool askOkCancel(const QString&) override { return true; }
    void showMessage(const QString& text) override { QTextStream(stderr) << text << Qt::endl; }
    void setCounter(Counter, qint64) override { }
    void setCurrentAddress(const QString&) override { }
    void setCaption(const QString&) override { }
    void stepProgress() override { }
    void resetProgress() override { }
    void openDocument(const QString&) override { }
};
