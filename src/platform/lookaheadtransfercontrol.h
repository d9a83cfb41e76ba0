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
// Connections are libcurl controls of one easy handle each, so none holds more than one connection
// to a host: with N of them no host ever has more than N from us. Predictions start nearest first:
// the executed request, then the lowest tag, then the earliest predicted. A prediction's body
// beyond a small buffer waits in a temporary file, so memory stays flat however much is ahead.

#include "platform/curltransfercontrol.h"
#include "platform/spooledbody.h"

#include <QElapsedTimer>
#include <QHash>
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

    bool direct() const { return m_connections == 1 && m_interval <= 0; }
    void reconfigure(int connections, int interval);
    void onLineState(std::size_t line, int state);
    // Moves a connection's body bytes into the prediction; false when it was given up.
    bool drain(std::size_t line, Prediction& prediction);
    void schedule();
    Prediction* nextToStart(qint64 now, qint64& earliestBlocked) const;
    int freeLine() const;
    int preemptLine();
    void start(Prediction& prediction, int line);
    void stopRunning(Prediction& prediction);
    void erase(const Prediction* prediction);
    void deliver();
    bool raise(int state);
    int waitFor(int maxWaitMs, qint64 earliestBlocked) const;

    std::vector<std::unique_ptr<CurlTransferControl>> m_lines;
    std::vector<Prediction*> m_running; // per line, what it runs
    std::vector<std::unique_ptr<Prediction>> m_predictions;
    Prediction* m_current = nullptr; // the executed request
    quint64 m_order = 0;

    StateHandler m_handler;
    int m_connections = 1;
    int m_interval = 0;
    QElapsedTimer m_clock;
    QHash<QString, qint64> m_lastStart; // per host, when its last request started
    qint64 m_blockedUntil = -1; // the earliest moment a request held back by the interval may start

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
