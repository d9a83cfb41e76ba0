#include "transfer/curlconnectionpool.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Unread bytes above which a connection's transfer waits for the network thread to move them on
// into its request: large enough that a ranged piece of 1 MB waits once at most, small enough that
// sixteen connections keep little memory.
constexpr qsizetype PauseAbove = 512 * 1024;
// What the further streams of an HTTP/2 connection read at a time: they are many, and each piece
// moves on into its request at once.
constexpr int StreamReceiveBuffer = 16 * 1024;

} // namespace

class CurlConnectionPool::Slot final : public ConnectionPool::Transfer {
public:
    explicit Slot(std::shared_ptr<CurlPipe> pipe)
        : control(std::move(pipe))
    {
    }
    QByteArray headers() const override { return control.responseHeaders(); }
    QString finalUrl() const override { return control.finalUrl(); }
    bool spokeHttp2() const override { return control.spokeHttp2(); }
    qint64 expectedLength() const override { return control.expectedLength(); }
    QByteArrayView nextBodyPiece() override { return control.nextBodyPiece(); }
    std::optional<QList<QByteArray>> cookies() const override { return control.cookiesNow(); }
    int errorCode() const override { return control.lastErrorCode(); }
    QString errorText() const override { return control.lastErrorText(); }
    qint64 sentAt() const override { return control.hopSentAt(); }
    bool sent() const override { return control.sentAny(); }

    CurlTransferControl control;
};

CurlConnectionPool::CurlConnectionPool(RequestPacer& pacer)
    : m_pacer(pacer)
{
}

CurlConnectionPool::~CurlConnectionPool()
{
    for (Pipe& pipe : m_pipes)
        for (const auto& slot : pipe.transfers) {
            slot->control.setStateHandler({});
            slot->control.cancel();
        }
}

void CurlConnectionPool::apply(const TransferControl::Settings& settings)
{
    m_settings = settings;
    for (Pipe& pipe : m_pipes)
        for (const auto& slot : pipe.transfers)
            slot->control.setSettings(settings);
}

void CurlConnectionPool::setCookieJar(CookieJar* jar)
{
    m_jar = jar;
    for (Pipe& pipe : m_pipes)
        for (const auto& slot : pipe.transfers)
            slot->control.setCookieJar(jar, false);
}

void CurlConnectionPool::resized(int connections)
{
    m_pipes.resize(std::size_t(connections));
    for (Pipe& pipe : m_pipes) {
        if (!pipe.pipe)
            pipe.pipe = std::make_shared<CurlPipe>();
        // Streams beyond the first are made again when a connection speaks HTTP/2.
        pipe.transfers.resize(std::min<std::size_t>(pipe.transfers.size(), 1));
    }
}

CurlConnectionPool::Slot& CurlConnectionPool::slotOf(int connection, int slot)
{
    Pipe& pipe = m_pipes[std::size_t(connection)];
    while (pipe.transfers.size() <= std::size_t(slot)) {
        const int s = int(pipe.transfers.size());
        auto fresh = std::make_unique<Slot>(pipe.pipe);
        CurlTransferControl& control = fresh->control;
        control.setSettings(m_settings);
        control.setPacer(&m_pacer);
        // Each piece moves on into its request at once; what the network thread reads ahead of
        // that stays small on every connection.
        control.setPauseAbove(PauseAbove);
        control.setCookieJar(m_jar, false);
        control.setStateHandler([this, connection, s](int state) { raise(connection, s, state); });
        if (s > 0)
            control.setReceiveBuffer(StreamReceiveBuffer);
        pipe.transfers.push_back(std::move(fresh));
    }
    return *pipe.transfers[std::size_t(slot)];
}

ConnectionPool::Transfer& CurlConnectionPool::transferOn(int connection, int slot)
{
    return slotOf(connection, slot);
}

void CurlConnectionPool::startTransfer(int connection, int slot, const ScheduledRequest& request)
{
    CurlTransferControl& control = slotOf(connection, slot).control;
    control.setRedirectLimit(request.redirectLimit);
    control.execute(request.address, request.verb, {}, request.headerLines);
}

void CurlConnectionPool::stopTransfer(int connection, int slot)
{
    slotOf(connection, slot).control.cancel();
}

void CurlConnectionPool::closeConnection(int connection)
{
    m_pipes[std::size_t(connection)].pipe->closeConnections();
}

void CurlConnectionPool::pump(int waitMs, int wakeDescriptor, const std::function<void(bool)>& hold)
{
    std::vector<CurlPipe::Transfer*> running;
    for (int c = 0; c < size(); ++c)
        for (int s = 0; s < slotCount(c); ++s)
            if (runningOn(c, s))
                running.push_back(&slotOf(c, s).control);
    if (hold)
        hold(false);
    if (running.empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0, waitMs)));
    else
        CurlPipe::pumpTogether(running, waitMs, wakeDescriptor, hold);
    if (hold)
        hold(true);
}
