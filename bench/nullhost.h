#pragma once
// A host that shows nothing and only lets pending events run.

#include "crawl/crawlhost.h"

#include <QCoreApplication>

class NullHost final : public CrawlHost {
public:
    void yield() override { QCoreApplication::processEvents(); }
    bool askOkCancel(const QString&) override { return true; }
    void showMessage(const QString&) override {}
    void setCounter(Counter, qint64) override {}
    void setCurrentAddress(const QString&) override {}
    void setCaption(const QString&) override {}
    void stepProgress() override {}
    void resetProgress() override {}
    void openDocument(const QString&) override {}
};
