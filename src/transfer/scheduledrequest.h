#pragma once
// One request of the look-ahead: where it stands and what it brought so far, kept until the crawl
// executes it or its prediction is dropped.

#include "transfer/spooledbody.h"
#include "transfer/transfercontrol.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// A request the scheduler runs: predicted, or executed without a prediction.
struct ScheduledRequest {
    ScheduledRequest(const QString& address, const QString& verb, const QString& headerLines, qint64 tag,
        bool predicted, quint64 order, MemoryBudget* shared = nullptr);

    bool matches(const QString& a, const QString& v, const QString& l) const
    {
        return address == a && verb == v && headerLines == l;
    }
    // Forgets whatever an attempt brought, so the request can start again from nothing.
    void reset();

    // What a waiting prediction may keep in memory of its own; beyond it, what the shared budget
    // has room for, and the rest goes to a temporary file.
    static constexpr qsizetype MemoryLimit = 256 * 1024;

    const QString address;
    const QString verb;
    const QString headerLines;
    const QString host; // as the pacer knows it
    const QString origin; // whose connections it may use
    const qint64 tag;
    const bool predicted;
    const quint64 order;
    QString finalUrl; // where the answer came from, after redirects
    int connection = -1; // running on it
    int slot = -1; // and on this slot of it
    qint64 startedAt = 0;
    qint64 notBefore = 0; // a request sent again waits until then
    int resends = 0;
    int redirectLimit = TransferControl::MostRedirects;
    quint64 cookieVersion = 0; // of the jar it started with
    std::optional<QList<QByteArray>> cookies; // as its answers left them, once it has ended
    bool started = false;
    bool finished = false;
    bool executed = false; // the crawl waits for it
    bool dropped = false; // forgotten; its connection is still to be stopped
    bool announced = false; // the crawl was told of its headers
    bool headersKnown = false;
    bool fresh = false; // body bytes arrived that the crawl was not told of yet
    QByteArray headers;
    SpooledBody body;
    int errorCode = 0;
    QString errorText;
};
