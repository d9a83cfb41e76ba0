#pragma once
// A crawl host for tests: it records what the engine shows, answers questions from a script, and
// runs a test's hook at every yield (to press Stop at a chosen moment, for instance).

#include "crawl/crawlhost.h"

#include <QList>
#include <QStringList>
#include <array>
#include <functional>

class RecordingHost final : public CrawlHost {
public:
    void yield() override;
    bool askOkCancel(const QString& text) override;
    void showMessage(const QString& text) override;
    void setCounter(Counter counter, qint64 value) override;
    void setCurrentAddress(const QString& text) override;
    void setCaption(const QString& caption) override;
    void stepProgress() override { ++progressSteps; }
    void resetProgress() override { ++progressResets; }
    void openDocument(const QString& path) override { openedDocuments.append(path); }

    qint64 counter(Counter which) const { return counters[size_t(which)]; }

    std::array<qint64, CounterCount> counters {};
    QStringList questions;
    QList<bool> answers; // taken in order; OK when none is left
    QStringList messages;
    QStringList currentAddresses;
    QStringList captions;
    QStringList openedDocuments;
    int progressSteps = 0;
    int progressResets = 0;
    int yields = 0;
    std::function<void()> onYield;
};
