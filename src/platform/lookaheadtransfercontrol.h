#pragma once
// The crawl's transfer control. With one connection (and no interval) it is the plain libcurl
// control, call for call. With more, it runs the requests the crawl says are coming (predictions)
// on further connections before the crawl executes them, and serves an executed request from an
// identical prediction (address, verb and header lines) with the same states, header block, body
// and error, so the crawl still decides and applies everything one request after the other while
// the network works ahead. A request without a prediction runs at once on a free connection, the
// most speculative prediction giving its connection up when none is free.
//   control.setConnections(6);
//   control.predict(u"http://h/b.gif"_s, u"HEAD"_s, lines, 7); // starts now if a connection is free
//   control.execute(u"http://h/b.gif"_s, u"HEAD"_s, {}, lines);  // served from the prediction
//   control.dropPredictions(7);                                  // tag 7's unused ones are cancelled
//
// Connections are libcurl controls of one easy handle each, each keeping at most one connection open,
// so with N of them no host ever has more than N from us. Predictions start nearest first: the
// executed request, then the lowest tag, then the earliest predicted. A prediction's body beyond a
// small buffer waits in a temporary file, so memory stays flat however much is ahead.
//
// Servers that take fewer connections than we offer must not change what the crawl sees:
// - A prediction whose connection is refused, reset or closed before an answer, or that is answered
//   503 while other connections of ours are open to that origin, is never served: the origin gets
//   one connection fewer from then on and the request is sent again when a connection is free. The
//   executed request is treated alike (up to four times, waiting longer each time) while other
//   connections are, or were just, open to its origin; alone, its failure is the answer.
// - A request that waits far longer than the origin usually takes to answer, while requests started
//   after it are answered, is held up behind our own connections: idle ones to that origin are
//   closed, and when the executed request is the one waiting, the origin is limited to the
//   connections it answers on and the request is sent again on one of them.

#include "platform/curltransfercontrol.h"
#include "platform/requestpacer.h"
#include "platform/spooledbody.h"

#include <QHash>
#include <cstdint>
#include <memory>
#include <vector>

class LookAheadTransferControl final : public TransferControl {
public:
    LookAheadTransferControl();
    ~LookAheadTransferControl() override;
    LookAheadTransferControl(const LookAheadTransferControl&) = delete;
    LookAheadTransferControl& operator=(const LookAheadTransferControl&) = delete;

    void setStateHandler(StateHandler handler) override;
    void execute(
        const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines) override;
    bool busy() const override;
    void cancel() override;
    void pump(int maxWaitMs) override;

    QByteArrayView nextBodyPiece() override;
    QByteArray responseHeaders() const override;
    int lastErrorCode() const override;
    QString lastErrorText() const override;

    QString url() const override;
    QString finalUrl() const override;
    void setUrl(const QString& address) override;
    int protocol() const override;
    void setProtocol(int protocol) override;
    int accessType() const override;
    void setAccessType(int accessType) override;
    QString proxy() const override;
    void setProxy(const QString& proxy) override;
    int requestTimeout() const override;
    void setRequestTimeout(int seconds) override;
    int remotePort() const override;
    void setRemotePort(int port) override;

    int connections() const override;
    void setConnections(int connections) override;
    void setRequestInterval(int milliseconds) override;
    void predict(const QString& address, const QString& verb, const QString& headerLines, qint64 tag) override;
    void dropPredictions(qint64 tag) override;

    // Predictions waiting, running or done and not executed yet; for tests.
    int pendingPredictions() const;

private:
    struct Prediction;
    // One connection: the control that runs requests on it and what it keeps open.
    struct Line {
        std::unique_ptr<CurlTransferControl> control;
        Prediction* running = nullptr;
        QString origin; // of the connection it keeps open; empty when it keeps none
        bool answered = false; // that connection has carried an answer
    };
    // What we learnt of one origin during the crawl.
    struct OriginState {
        int limit = 0; // connections it takes at once
        qint64 fastestMs = -1; // the quickest answer it gave, from start to headers
        qint64 lastAnsweredStart = -1; // when the latest request it answered had started
        qint64 abandonedAt = -1; // when we last dropped a connection to it in mid-request
    };

    bool direct() const { return m_connections == 1 && m_pacer.interval() <= 0; }
    void reconfigure(int connections, int interval);
    void onLineState(std::size_t line, int state);
    // Moves a connection's body bytes into the prediction; false when it was given up.
    bool drain(std::size_t line, Prediction& prediction);
    // A refusal that several connections may have caused: true when the prediction was taken back
    // (sent again later, or dropped) instead of being answered.
    bool takeBackRefused(std::size_t line, Prediction& prediction, bool connectionLost);
    void checkStalls();
    void schedule();
    int lineFor(Prediction& prediction);
    int preemptLineFor(const Prediction& prediction);
    void start(Prediction& prediction, int line);
    // abandoned: the connection is dropped by us in mid-request, which the server may still count.
    void stopRunning(Prediction& prediction, bool abandoned = true);
    void restartLater(Prediction& prediction, qint64 notBefore, bool abandoned = true);
    void closeLine(Line& line);
    void enforceLimit(const QString& origin);
    int openTo(const QString& origin, std::size_t except = SIZE_MAX) const;
    OriginState& stateOf(const QString& origin);
    void erase(const Prediction* prediction);
    void deliver();
    bool raise(int state);
    int waitFor(int maxWaitMs, qint64 earliestBlocked) const;

    std::vector<Line> m_lines;
    std::vector<std::unique_ptr<Prediction>> m_predictions;
    Prediction* m_current = nullptr; // the executed request
    quint64 m_order = 0;
    QHash<QString, OriginState> m_origins;

    StateHandler m_handler;
    int m_connections = 1;
    RequestPacer m_pacer;
    qint64 m_blockedUntil = -1; // the earliest moment a request held back by a wait may start

    bool m_busy = false;
    bool m_announced = false;
    unsigned m_generation = 0;
    QByteArray m_headers;
    QByteArray m_handedOut; // the last piece taken from a prediction, valid until the next call
    int m_errorCode = 0;
    QString m_errorText;
    QString m_url;
    QString m_finalUrl;
    int m_protocol = ProtocolDefault;
    int m_accessType = AccessPreconfigured;
    QString m_proxy;
    int m_requestTimeout = 0;
    int m_remotePort = 0;
};
