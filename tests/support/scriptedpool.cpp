#include "support/scriptedpool.h"

#include "transfer/transfercontrol.h"

using namespace Qt::StringLiterals;

class ScriptedPool::Slot final : public ConnectionPool::Transfer {
public:
    QByteArray headers() const override { return headersSent ? headerBlock : QByteArray(); }
    QString finalUrl() const override { return address; }
    bool spokeHttp2() const override { return headersSent && reply.http2; }
    qint64 expectedLength() const override { return reply.body.size(); }
    QByteArrayView nextBodyPiece() override
    {
        handedOut = std::exchange(waiting, {});
        return handedOut;
    }
    std::optional<QList<QByteArray>> cookies() const override { return std::nullopt; }
    int errorCode() const override { return error; }
    QString errorText() const override { return error ? u"scripted fault"_s : QString(); }
    qint64 sentAt() const override { return running ? startedAt : -1; }
    bool sent() const override { return logged; }

    bool running = false;
    QString address;
    Reply reply;
    qint64 startedAt = 0;
    bool logged = false; // the request reached the server
    int connection = 0;
    int slot = 0;
    QString verb;
    bool headersSent = false;
    QByteArray headerBlock;
    QByteArray waiting;
    QByteArray handedOut;
    int error = 0;
};

ScriptedPool::ScriptedPool() = default;
ScriptedPool::~ScriptedPool() = default;

int ScriptedPool::sent(const QString& address, const QString& verb) const
{
    int count = 0;
    for (const Sent& sent : m_sent)
        count += sent.address == address && (verb.isEmpty() || sent.verb == verb);
    return count;
}

QStringList ScriptedPool::sentTwice() const
{
    QHash<QString, int> counts;
    for (const Sent& sent : m_sent)
        ++counts[sent.verb + u' ' + sent.address];
    QStringList twice;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > 1)
            twice.append(it.key() + u" x"_s + QString::number(it.value()));
    twice.sort();
    return twice;
}

void ScriptedPool::resized(int connections)
{
    m_slots.resize(std::size_t(connections));
}

ScriptedPool::Slot& ScriptedPool::slotOf(int connection, int slot)
{
    auto& onConnection = m_slots[std::size_t(connection)];
    while (onConnection.size() <= std::size_t(slot))
        onConnection.push_back(std::make_unique<Slot>());
    return *onConnection[std::size_t(slot)];
}

ConnectionPool::Transfer& ScriptedPool::transferOn(int connection, int slot)
{
    return slotOf(connection, slot);
}

void ScriptedPool::startTransfer(int connection, int slot, const ScheduledRequest& request)
{
    Slot& s = slotOf(connection, slot);
    s = Slot();
    s.running = true;
    s.address = request.address;
    s.startedAt = m_now;
    s.connection = connection;
    s.slot = slot;
    s.verb = request.verb;
    const QList<Reply> replies = m_scripts.value(request.address, { Reply() });
    const int sending = m_sendings[request.address]++;
    s.reply = replies.value(std::min<qsizetype>(sending, replies.size() - 1));
    if (m_limit > 0 && openTo(request.origin) > m_limit) {
        if (m_limitFault != NoFault)
            s.reply.fault = m_limitFault;
        else
            s.reply = Reply { 503, "busy", s.reply.delayMs };
    }
    if (s.reply.connectMs == 0)
        logSent(s);
}

void ScriptedPool::logSent(Slot& slot)
{
    slot.logged = true;
    m_sent.push_back({ m_now, slot.connection, slot.slot, slot.address, slot.verb });
}

void ScriptedPool::stopTransfer(int connection, int slot)
{
    slotOf(connection, slot).running = false;
    ++m_stops;
}

void ScriptedPool::closeConnection(int)
{
    ++m_closes;
}

qint64 ScriptedPool::dueOf(const Slot& slot) const
{
    if (!slot.running)
        return -1;
    if (!slot.logged)
        return slot.startedAt + slot.reply.connectMs;
    if (slot.reply.fault == Stall)
        return -1;
    return slot.startedAt + slot.reply.delayMs + (slot.headersSent ? slot.reply.bodyMs : 0);
}

void ScriptedPool::step(int connection, int slot)
{
    Slot& s = slotOf(connection, slot);
    if (!s.logged) {
        logSent(s);
        s.startedAt = m_now;
        return;
    }
    if (s.reply.fault != NoFault) {
        static const int codes[] = { 0, 7, 56, 92 };
        s.error = codes[s.reply.fault];
        s.running = false;
        raise(connection, slot, TransferControl::Error);
        return;
    }
    if (!s.headersSent) {
        s.headersSent = true;
        s.headerBlock = (s.reply.http2 ? "HTTP/2 " : "HTTP/1.1 ") + QByteArray::number(s.reply.status)
            + (s.reply.http2 ? "" : " X") + "\r\nContent-Length: " + QByteArray::number(s.reply.body.size()) + "\r\n"
            + (s.reply.retryAfter >= 0 ? "Retry-After: " + QByteArray::number(s.reply.retryAfter) + "\r\n" : "")
            + "\r\n";
        if (s.reply.bodyMs > 0) {
            raise(connection, slot, TransferControl::ResponseReceiving);
            return;
        }
    }
    s.waiting = s.reply.body;
    s.running = false;
    raise(connection, slot, TransferControl::ResponseReceiving);
    if (runningOn(connection, slot))
        raise(connection, slot, TransferControl::ResponseCompleted);
}

void ScriptedPool::pump(int waitMs, int, const std::function<void(bool)>& hold)
{
    qint64 next = m_now + std::max(0, waitMs);
    for (int c = 0; c < size(); ++c)
        for (int s = 0; s < slotCount(c); ++s)
            if (runningOn(c, s) && dueOf(slotOf(c, s)) >= 0)
                next = std::min(next, std::max(m_now, dueOf(slotOf(c, s))));
    if (hold)
        hold(false);
    m_now = next;
    if (hold)
        hold(true);
    for (int c = 0; c < size(); ++c)
        for (int s = 0; s < slotCount(c); ++s)
            if (runningOn(c, s) && dueOf(slotOf(c, s)) >= 0 && dueOf(slotOf(c, s)) <= m_now)
                step(c, s);
}
