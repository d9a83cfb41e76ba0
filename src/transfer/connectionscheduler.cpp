#include "transfer/connectionscheduler.h"

#include "transfer/curlrequest.h"
#include "transfer/retryafter.h"
#include "transfer/transfercontrol.h"

#include <algorithm>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// libcurl's PARTIAL_FILE: the connection closed in mid-body.
constexpr int PartialFileCode = 18;

// Nearest first: what the crawl executes, then the lowest tag, then the earliest.
auto nearness(const ScheduledRequest& request)
{
    return std::make_tuple(!request.executed, request.tag, request.order);
}

} // namespace

QString ConnectionScheduler::spoolErrorText()
{
    return u"先に受け取った本文を一時ファイルに保存できませんでした。"_s;
}

ConnectionScheduler::ConnectionScheduler(ConnectionPool& pool, RequestPacer& pacer)
    : m_pool(pool)
    , m_pacer(pacer)
{
    m_pool.setStateCallback([this](int connection, int slot, int state) { onState(connection, slot, state); });
    configure(1);
}

ConnectionScheduler::~ConnectionScheduler()
{
    settleDrops();
    for (const auto& request : m_requests)
        stopRunning(*request, false);
    m_pool.setStateCallback({});
}

void ConnectionScheduler::configure(int connections)
{
    settleDrops();
    for (const auto& request : m_requests)
        stopRunning(*request, false);
    m_requests.clear();
    m_pool.configure(connections);
    m_origins.reset(m_pool.size());
    m_cookieChanges = 0;
}

void ConnectionScheduler::remove(ScheduledRequest& request)
{
    if (m_deferStops && request.connection >= 0) {
        if (std::unique_ptr<ScheduledRequest> taken = m_requests.take(&request)) {
            request.dropped = true;
            m_dropped.push_back(std::move(taken));
        }
        return;
    }
    stopRunning(request);
    m_requests.forget(&request);
}

void ConnectionScheduler::settleDrops()
{
    for (const auto& request : m_dropped)
        stopRunning(*request);
    m_dropped.clear();
}

void ConnectionScheduler::close(int connection)
{
    for (int slot = 0; slot < m_pool.slotCount(connection); ++slot)
        if (ScheduledRequest* running = m_pool.runningOn(connection, slot))
            restartLater(*running, 0);
    m_pool.close(connection);
}

void ConnectionScheduler::stopRunning(ScheduledRequest& request, bool abandoned)
{
    if (request.connection < 0)
        return;
    m_pool.stop(request.connection, request.slot);
    if (abandoned)
        m_origins.abandoned(request.origin, now());
}

void ConnectionScheduler::restartLater(ScheduledRequest& request, qint64 notBefore)
{
    stopRunning(request);
    request.reset();
    request.notBefore = notBefore;
}

void ConnectionScheduler::onState(int connection, int slot, int state)
{
    ScheduledRequest* request = m_pool.runningOn(connection, slot);
    if (!request || request->dropped)
        return;
    ConnectionPool::Transfer& transfer = m_pool.transferOn(connection, slot);
    switch (state) {
    case TransferControl::ResponseReceiving:
        if (!request->headersKnown) {
            const QByteArray headers = transfer.headers();
            const int status = StatusCodeOf(headers);
            const qint64 wait = m_followRetryAfter && (status == 429 || status == 503)
                ? StatedRetryAfterMs(headers, QDateTime::currentDateTimeUtc())
                : qint64(-1);
            if (wait >= 0)
                m_pacer.hold(request->host, wait);
            else if (status == 503 && takeBackRefused(connection, *request, false))
                break;
            m_origins.answered(request->origin, request->startedAt, now());
            m_pool.noteAnswer(connection, transfer.spokeHttp2());
            request->finalUrl = transfer.finalUrl();
            request->headers = headers;
            request->headersKnown = true;
        }
        drain(transfer, *request);
        break;
    case TransferControl::ResponseCompleted:
    case TransferControl::Error: {
        const int code = state == TransferControl::Error ? transfer.errorCode() : 0;
        const bool lost = TransferControl::isConnectionFailure(code) || code == PartialFileCode;
        if (lost && !request->announced && takeBackRefused(connection, *request, true))
            break;
        if (!drain(transfer, *request))
            break;
        request->finalUrl = transfer.finalUrl();
        request->headers = transfer.headers();
        request->cookies = transfer.cookies();
        if (code != 0 && request->errorCode == 0) {
            request->errorCode = code;
            request->errorText = transfer.errorText();
        }
        request->finished = true;
        m_pool.finished(connection, slot);
        // libcurl closes the connection of a failed request; over HTTP/2 only the stream fails
        // unless the connection did.
        if (code != 0 && (!m_pool.multiplexed(connection) || lost))
            close(connection);
        else
            enforceLimit(request->origin);
        break;
    }
    default:
        break;
    }
}

bool ConnectionScheduler::drain(ConnectionPool::Transfer& transfer, ScheduledRequest& request)
{
    if (!request.executed && request.body.isEmpty())
        request.body.expect(transfer.expectedLength());
    for (QByteArrayView piece = transfer.nextBodyPiece(); !piece.isEmpty(); piece = transfer.nextBodyPiece()) {
        if (request.body.append(piece, request.executed)) {
            request.fresh = true;
            continue;
        }
        stopRunning(request);
        if (!request.executed) {
            // Not served: the request, when it is executed, runs afresh.
            m_requests.forget(&request);
            return false;
        }
        request.errorCode = SpoolErrorCode;
        request.errorText = spoolErrorText();
        request.finished = true;
        return false;
    }
    return true;
}

bool ConnectionScheduler::takeBackRefused(int connection, ScheduledRequest& request, bool connectionLost)
{
    OriginState& origin = m_origins.of(request.origin);
    const qint64 moment = now();
    const int others = m_pool.openTo(request.origin, connection);
    const bool alone = others == 0 && !m_origins.justAbandoned(request.origin, moment);
    // What one connection would have met too is the answer.
    if (request.executed && (alone || request.resends >= OriginBook::MostResends))
        return false;
    if (!request.executed && alone && !connectionLost)
        return false;

    // Whatever comes of it, the refused connection is not used again.
    stopRunning(request, false);
    close(connection);
    if (!connectionLost)
        origin.abandonedAt = moment; // a 503 cut short in its body
    if (!request.executed && (alone || request.resends >= 1)) {
        // Never served: the crawl's own request is sent afresh when its turn comes.
        m_requests.forget(&request);
        return true;
    }
    // One connection too many for this origin: one fewer from now on, and no more than it has
    // answered on.
    if (others > 0)
        origin.limit = OriginBook::limitAfterRefusal(origin.limit, m_pool.answeringTo(request.origin, connection));
    ++request.resends;
    request.reset();
    request.notBefore = moment + OriginBook::resendPause(request.resends);
    enforceLimit(request.origin);
    return true;
}

void ConnectionScheduler::enforceLimit(const QString& origin)
{
    // Idle connections go at once; one carrying a request goes when that request ends, as
    // cutting it off would send the request again.
    for (int c = 0; c < connections() && m_pool.openTo(origin) > m_origins.of(origin).limit; ++c)
        if (m_pool.originOf(c) == origin && m_pool.idle(c))
            close(c);
}

void ConnectionScheduler::checkStalls()
{
    const qint64 moment = now();
    for (int c = 0; c < connections(); ++c) {
        for (int s = 0; s < m_pool.slotCount(c); ++s) {
            ScheduledRequest* waiting = m_pool.runningOn(c, s);
            if (!waiting || waiting->headersKnown || waiting->dropped)
                continue;
            // Counted from the hop in progress: a redirect waiting for the interval is not held up.
            OriginState& origin = m_origins.of(waiting->origin);
            if (!OriginBook::stalled(origin, m_pool.transferOn(c, s).sentAt(), moment))
                continue;
            // Later requests are answered and the crawl's own is not, on a connection that never
            // carried an answer (a slow answer on a served one is only slow): it waits behind
            // connections the origin does not serve, so the origin keeps no more than those it
            // answers on (idle ones too), the others closed as they come free until the server gets
            // to it. Sent again, it might reach the server twice.
            const bool ownHeldUp = waiting->executed && !waiting->announced
                && origin.lastAnsweredStart > waiting->startedAt && !m_pool.answered(c);
            if (ownHeldUp)
                origin.limit = std::max(1, std::min(origin.limit, m_pool.answeringTo(waiting->origin, c)));
            // A server with a few workers may keep one for each of our idle connections.
            for (int other = 0; other < connections(); ++other)
                if (m_pool.idle(other) && m_pool.originOf(other) == waiting->origin)
                    close(other);
            if (ownHeldUp)
                enforceLimit(waiting->origin);
        }
    }
}

std::pair<int, int> ConnectionScheduler::connectionFor(ScheduledRequest& request)
{
    const QString& origin = request.origin;
    int empty = -1;
    int other = -1;
    const bool anotherStream = m_pool.mayAddStream();
    for (int c = 0; c < connections(); ++c) {
        // A kept-alive connection to the origin costs no new connection at all; one that speaks
        // HTTP/2 takes several requests.
        if (m_pool.originOf(c) == origin) {
            const int slot = m_pool.freeSlot(c, anotherStream);
            if (slot >= 0)
                return { c, slot };
            continue;
        }
        if (!m_pool.idle(c))
            continue;
        if (m_pool.originOf(c).isEmpty() && empty < 0)
            empty = c;
        else if (!m_pool.originOf(c).isEmpty() && other < 0)
            other = c;
    }
    if (m_pool.openTo(origin) < m_origins.of(origin).limit) {
        if (empty >= 0)
            return { empty, 0 };
        if (other >= 0)
            return { other, 0 };
    }
    return request.executed ? preemptFor(request) : std::pair { -1, -1 };
}

// The crawl's own request finds every connection busy, or its origin at its limit: the most
// speculative prediction not sent yet (waiting for the interval or for its connection), or held up
// long (OriginBook::givesWayAt), gives its slot up; otherwise the request, nearest of all, waits for
// the first slot to come free. At an origin that refused
// connections before, no connection to it is dropped for a new one, which it might count twice; the request waits
// instead.
std::pair<int, int> ConnectionScheduler::preemptFor(const ScheduledRequest& request)
{
    const OriginState& origin = m_origins.of(request.origin);
    const bool atLimit = m_pool.openTo(request.origin) >= origin.limit;
    const bool limited = origin.limit < connections();
    const qint64 moment = now();
    ScheduledRequest* victim = nullptr;
    for (int c = 0; c < connections(); ++c) {
        const bool sameOrigin = m_pool.originOf(c) == request.origin;
        if ((atLimit && !sameOrigin) || (sameOrigin && limited))
            continue;
        // A connection to another origin is closed for the request: only one carrying nothing else.
        if (!sameOrigin && m_pool.runningCount(c) > 1)
            continue;
        for (int s = 0; s < m_pool.slotCount(c); ++s) {
            ScheduledRequest* running = m_pool.runningOn(c, s);
            if (!running || running->executed || running->headersKnown
                || (victim && nearness(*running) <= nearness(*victim)))
                continue;
            const ConnectionPool::Transfer& transfer = m_pool.transferOn(c, s);
            if (transfer.sent()) {
                // One the server may have begun on would reach it twice: only one held up long gives way.
                const qint64 at = OriginBook::givesWayAt(m_origins.of(running->origin), transfer.sentAt());
                if (at < 0 || at > moment) {
                    if (at >= 0)
                        m_blockedUntil = m_blockedUntil < 0 ? at : std::min(m_blockedUntil, at);
                    continue;
                }
            }
            victim = running;
        }
    }
    if (!victim)
        return { -1, -1 };
    // It starts again later from the beginning.
    const int connection = victim->connection;
    const int slot = victim->slot;
    restartLater(*victim, 0);
    // A connection to another origin is closed as the request starts, its first slot then free.
    return { connection, m_pool.originOf(connection) == request.origin ? slot : 0 };
}

bool ConnectionScheduler::roomForPredictions() const
{
    const bool anotherStream = m_pool.mayAddStream();
    for (int c = 0; c < connections(); ++c)
        if (m_pool.freeSlot(c, anotherStream) >= 0)
            return true;
    return false;
}

void ConnectionScheduler::startWhatMay()
{
    checkStalls();
    const qint64 moment = now();
    m_blockedUntil = -1;
    // Two answers in a row that changed the cookies: the next is likely to change them again.
    bool room = m_cookieChanges < 2 && roomForPredictions();
    std::vector<ScheduledRequest*> waiting;
    // With every slot busy only the crawl's own request may take one.
    for (const auto& request : m_requests)
        if (!request->started && (room || request->executed))
            waiting.push_back(request.get());
    // Taken nearest first from a heap: most pumps start a request or two of hundreds waiting.
    const auto later = [](const ScheduledRequest* a, const ScheduledRequest* b) { return nearness(*a) > nearness(*b); };
    std::make_heap(waiting.begin(), waiting.end(), later);
    for (auto end = waiting.end(); end != waiting.begin(); --end) {
        std::pop_heap(waiting.begin(), end, later);
        ScheduledRequest* next = *(end - 1);
        // The crawl's own requests come first, so none is left once a prediction finds no room.
        if (!room && !next->executed)
            break;
        const qint64 allowed = std::max(next->notBefore, moment + m_pacer.waitFor(next->host));
        if (allowed > moment) {
            m_blockedUntil = m_blockedUntil < 0 ? allowed : std::min(m_blockedUntil, allowed);
            continue;
        }
        const auto [connection, slot] = connectionFor(*next);
        if (connection >= 0) {
            start(*next, connection, slot);
            room = room && roomForPredictions();
        }
    }
}

void ConnectionScheduler::start(ScheduledRequest& request, int connection, int slot)
{
    // Each connection is kept open to the origin it last served only.
    if (m_pool.originOf(connection) != request.origin)
        close(connection);
    request.started = true;
    request.cookieVersion = m_jar ? m_jar->version() : 0;
    request.startedAt = now();
    m_pool.startOn(connection, slot, request);
}

void ConnectionScheduler::pumpConnections(int waitMs, int wakeDescriptor, const std::function<void(bool)>& hold)
{
    // With nothing running, only a request held back by a wait is worth waiting for.
    if (m_pool.running() || (waitMs > 0 && m_blockedUntil >= 0))
        m_pool.pump(waitMs, wakeDescriptor, hold);
}
