#include "transfer/connectionscheduler.h"

#include "transfer/curlrequest.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// libcurl's PARTIAL_FILE: the connection closed in mid-body.
constexpr int PartialFileCode = 18;
// How often a refused request is sent again, and the first pause before it: the pause doubles each
// time, so a server that still counts a connection we dropped has time to let it go.
constexpr int MaxResends = 4;
constexpr qint64 ResendPauseMs = 100;
// A dropped connection may still be counted by the server for about this long.
constexpr qint64 AbandonMemoryMs = 2000;
// A request is held up when it waited this many times the origin's quickest answer, and at least
// the floor, for its own.
constexpr int StallFactor = 8;
constexpr qint64 StallFloorMs = 100;
// A prediction gives its connection up to the crawl's own request only once it has run this many
// times the origin's quickest answer, and at least the floor: one just sent is answered about as
// soon as a connection would be free, and cutting it off costs its request again and, over
// HTTP/1.1, a new connection.
constexpr int PreemptFactor = 4;
constexpr qint64 PreemptFloorMs = 10;
// Unread bytes above which a connection's transfer waits for the network thread to move them on
// into its request: large enough that a ranged piece of 1 MB waits once at most, small enough that
// sixteen connections keep little memory.
constexpr qsizetype PauseAbove = 512 * 1024;

// Nearest first: what the crawl executes, then the lowest tag, then the earliest.
auto nearness(const ScheduledRequest& request)
{
    return std::make_tuple(!request.executed, request.tag, request.order);
}

} // namespace

QString ConnectionScheduler::spoolErrorText()
{
    return u"the body fetched ahead could not be kept in a temporary file"_s;
}

ConnectionScheduler::ConnectionScheduler()
{
    configure(1, 0);
}

ConnectionScheduler::~ConnectionScheduler()
{
    settleDrops();
    m_requests.clear();
    forEachControl([](CurlTransferControl& control) {
        control.setStateHandler({});
        control.cancel();
    });
}

int ConnectionScheduler::Connection::freeSlot(bool anotherStream) const
{
    const std::size_t usable = multiplexed && anotherStream ? std::size_t(StreamsPerConnection) : 1;
    for (std::size_t i = 0; i < usable; ++i)
        if (i >= streams.size() || !streams[i].running)
            return int(i);
    return -1;
}

ConnectionScheduler::Slot& ConnectionScheduler::slotOf(std::size_t index, std::size_t slot)
{
    Connection& connection = m_connections[index];
    while (connection.streams.size() <= slot) {
        Slot fresh;
        fresh.control = std::make_unique<CurlTransferControl>(connection.pipe);
        CurlTransferControl& control = *fresh.control;
        control.setAccessType(m_accessType);
        control.setProxy(m_proxy);
        control.setRequestTimeout(m_requestTimeout);
        control.setHttp2(m_http2);
        control.setPacer(&m_pacer);
        // Each piece moves on into its request at once; what the network thread reads ahead of
        // that stays small on every connection.
        control.setPauseAbove(PauseAbove);
        control.setCookieJar(m_jar, direct());
        const std::size_t s = connection.streams.size();
        control.setStateHandler([this, index, s](int state) { onConnectionState(index, s, state); });
        // A further stream gets its bytes in HTTP/2 frames of 16 KiB; a large buffer each would
        // only cost memory.
        if (s > 0)
            control.setReceiveBuffer(16 * 1024);
        connection.streams.push_back(std::move(fresh));
    }
    return connection.streams[slot];
}

void ConnectionScheduler::configure(int connections, int intervalMs)
{
    settleDrops();
    for (const auto& request : m_requests)
        stopRunning(*request, false);
    m_requests.clear();
    forEachControl([](CurlTransferControl& control) { control.cancel(); });
    m_pacer.setInterval(intervalMs);
    m_origins.clear();
    m_multiplexing = false;
    const std::size_t count = std::size_t(std::clamp(connections, 1, TransferControl::MostConnections));
    m_connections.resize(std::min(m_connections.size(), count));
    while (m_connections.size() < count) {
        Connection connection;
        connection.pipe = std::make_shared<CurlPipe>();
        m_connections.push_back(std::move(connection));
    }
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        Connection& connection = m_connections[i];
        connection.multiplexed = false;
        connection.streams.resize(std::min<std::size_t>(connection.streams.size(), 1));
        Slot& first = slotOf(i, 0);
        first.running = nullptr;
        first.control->setCookieJar(m_jar, direct());
        // Used directly, the control keeps its own mark: the crawl reads what it holds.
        first.control->setPauseAbove(direct() ? 0 : PauseAbove);
        if (direct())
            first.control->setStateHandler(m_directHandler);
        else
            first.control->setStateHandler([this, i](int state) { onConnectionState(i, 0, state); });
    }
}

void ConnectionScheduler::setDirectHandler(const TransferControl::StateHandler& handler)
{
    m_directHandler = handler;
    if (direct())
        firstControl().setStateHandler(handler);
}

ScheduledRequest* ConnectionScheduler::find(
    const QString& address, const QString& verb, const QString& headerLines) const
{
    for (const auto& request : m_requests)
        if (request->matches(address, verb, headerLines))
            return request.get();
    return nullptr;
}

ScheduledRequest& ConnectionScheduler::add(
    const QString& address, const QString& verb, const QString& headerLines, qint64 tag, bool predicted)
{
    m_requests.push_back(
        std::make_unique<ScheduledRequest>(address, verb, headerLines, tag, predicted, m_order++, &m_waitingMemory));
    return *m_requests.back();
}

void ConnectionScheduler::remove(ScheduledRequest& request)
{
    if (m_deferStops && request.connection >= 0) {
        const auto it = std::find_if(m_requests.begin(), m_requests.end(),
            [&request](const std::unique_ptr<ScheduledRequest>& r) { return r.get() == &request; });
        if (it != m_requests.end()) {
            request.dropped = true;
            m_dropped.push_back(std::move(*it));
            m_requests.erase(it);
        }
        return;
    }
    stopRunning(request);
    forget(&request);
}

void ConnectionScheduler::settleDrops()
{
    for (const auto& request : m_dropped)
        stopRunning(*request);
    m_dropped.clear();
}

bool ConnectionScheduler::removePredicted(qint64 tag)
{
    std::vector<ScheduledRequest*> dropped;
    for (const auto& request : m_requests)
        if (request->predicted && !request->executed && request->tag == tag)
            dropped.push_back(request.get());
    for (ScheduledRequest* request : dropped)
        remove(*request);
    return !dropped.empty();
}

void ConnectionScheduler::removeAllPredicted()
{
    std::vector<ScheduledRequest*> dropped;
    for (const auto& request : m_requests)
        if (!request->executed)
            dropped.push_back(request.get());
    for (ScheduledRequest* request : dropped)
        remove(*request);
}

int ConnectionScheduler::predictedWaiting() const
{
    return int(std::count_if(m_requests.cbegin(), m_requests.cend(),
        [](const std::unique_ptr<ScheduledRequest>& request) { return !request->executed; }));
}

void ConnectionScheduler::forget(const ScheduledRequest* request)
{
    const auto it = std::find_if(m_requests.begin(), m_requests.end(),
        [request](const std::unique_ptr<ScheduledRequest>& r) { return r.get() == request; });
    if (it != m_requests.end())
        m_requests.erase(it);
}

ConnectionScheduler::OriginState& ConnectionScheduler::stateOf(const QString& origin)
{
    auto found = m_origins.find(origin);
    if (found == m_origins.end()) {
        OriginState fresh;
        fresh.limit = connections();
        found = m_origins.insert(origin, fresh);
    }
    return *found;
}

int ConnectionScheduler::openTo(const QString& origin, std::size_t except) const
{
    int open = 0;
    for (std::size_t i = 0; i < m_connections.size(); ++i)
        open += i != except && m_connections[i].origin == origin;
    return open;
}

int ConnectionScheduler::answeringTo(const QString& origin, std::size_t except) const
{
    int answering = 0;
    for (std::size_t i = 0; i < m_connections.size(); ++i)
        answering += i != except && m_connections[i].origin == origin && m_connections[i].answered;
    return answering;
}

void ConnectionScheduler::close(Connection& connection)
{
    for (Slot& slot : connection.streams)
        if (slot.running)
            restartLater(*slot.running, 0);
    connection.pipe->closeConnections();
    connection.origin.clear();
    connection.answered = false;
    connection.multiplexed = false;
}

void ConnectionScheduler::stopRunning(ScheduledRequest& request, bool abandoned)
{
    if (request.connection < 0)
        return;
    Slot& slot = m_connections[std::size_t(request.connection)].streams[std::size_t(request.slot)];
    // libcurl closes an HTTP/1.1 connection unless the answer was complete (an HTTP/2 one only
    // drops the stream); either way it is counted as open until it is closed here or used again.
    slot.control->cancel();
    slot.running = nullptr;
    request.connection = -1;
    request.slot = -1;
    if (abandoned)
        stateOf(request.origin).abandonedAt = now();
}

void ConnectionScheduler::restartLater(ScheduledRequest& request, qint64 notBefore)
{
    stopRunning(request);
    request.reset();
    request.notBefore = notBefore;
}

void ConnectionScheduler::onConnectionState(std::size_t index, std::size_t slot, int state)
{
    Connection& connection = m_connections[index];
    ScheduledRequest* request = connection.streams[slot].running;
    if (!request || request->dropped)
        return;
    CurlTransferControl& control = *connection.streams[slot].control;
    switch (state) {
    case TransferControl::ResponseReceiving:
        if (!request->headersKnown) {
            const QByteArray headers = control.responseHeaders();
            if (StatusCodeOf(headers) == 503 && takeBackRefused(index, *request, false))
                break;
            OriginState& origin = stateOf(request->origin);
            const qint64 took = now() - request->startedAt;
            origin.fastestMs = origin.fastestMs < 0 ? took : std::min(origin.fastestMs, took);
            origin.lastAnsweredStart = std::max(origin.lastAnsweredStart, request->startedAt);
            connection.answered = true;
            if (control.spokeHttp2() && !connection.multiplexed) {
                connection.multiplexed = true;
                m_multiplexing = true;
            }
            request->finalUrl = control.finalUrl();
            request->headers = headers;
            request->headersKnown = true;
        }
        drain(control, *request);
        break;
    case TransferControl::ResponseCompleted:
    case TransferControl::Error: {
        const int code = state == TransferControl::Error ? control.lastErrorCode() : 0;
        const bool lost = TransferControl::isConnectionFailure(code) || code == PartialFileCode;
        if (lost && !request->announced && takeBackRefused(index, *request, true))
            break;
        if (!drain(control, *request))
            break;
        request->finalUrl = control.finalUrl();
        request->headers = control.responseHeaders();
        request->cookies = control.cookiesNow();
        if (code != 0 && request->errorCode == 0) {
            request->errorCode = code;
            request->errorText = control.lastErrorText();
        }
        request->finished = true;
        connection.streams[slot].running = nullptr;
        request->connection = -1;
        request->slot = -1;
        // libcurl closes the connection of a failed request.
        if (code != 0)
            close(connection);
        break;
    }
    default:
        break;
    }
}

bool ConnectionScheduler::drain(CurlTransferControl& control, ScheduledRequest& request)
{
    if (!request.executed && request.body.isEmpty())
        request.body.expect(control.expectedLength());
    for (QByteArrayView piece = control.nextBodyPiece(); !piece.isEmpty(); piece = control.nextBodyPiece()) {
        if (request.body.append(piece, request.executed)) {
            request.fresh = true;
            continue;
        }
        stopRunning(request);
        if (!request.executed) {
            // Not served: the request, when it is executed, runs afresh.
            forget(&request);
            return false;
        }
        request.errorCode = SpoolErrorCode;
        request.errorText = spoolErrorText();
        request.finished = true;
        return false;
    }
    return true;
}

bool ConnectionScheduler::takeBackRefused(std::size_t index, ScheduledRequest& request, bool connectionLost)
{
    OriginState& origin = stateOf(request.origin);
    const qint64 moment = now();
    const int others = openTo(request.origin, index);
    const bool justAbandoned = origin.abandonedAt >= 0 && moment - origin.abandonedAt < AbandonMemoryMs;
    const bool alone = others == 0 && !justAbandoned;
    // What one connection would have met too is the answer.
    if (request.executed && (alone || request.resends >= MaxResends))
        return false;
    if (!request.executed && alone && !connectionLost)
        return false;

    // Whatever comes of it, the refused connection is not used again.
    stopRunning(request, false);
    close(m_connections[index]);
    if (!connectionLost)
        origin.abandonedAt = moment; // a 503 cut short in its body
    if (!request.executed && (alone || request.resends >= 1)) {
        // Never served: the crawl's own request is sent afresh when its turn comes.
        forget(&request);
        return true;
    }
    if (others > 0) {
        // One connection too many for this origin: one fewer from now on, and no more than it
        // has answered on.
        const int answered = answeringTo(request.origin, index);
        origin.limit = std::max(1, std::min(origin.limit - 1, answered > 0 ? answered : origin.limit - 1));
    }
    ++request.resends;
    request.reset();
    request.notBefore = moment + (ResendPauseMs << (request.resends - 1));
    enforceLimit(request.origin);
    return true;
}

void ConnectionScheduler::enforceLimit(const QString& origin)
{
    const int limit = stateOf(origin).limit;
    while (openTo(origin) > limit) {
        const auto idle = std::find_if(m_connections.begin(), m_connections.end(),
            [&origin](const Connection& connection) { return connection.idle() && connection.origin == origin; });
        if (idle != m_connections.end()) {
            close(*idle);
            continue;
        }
        // The predictions least needed give their connection up, one not answered yet first: a
        // connection without the crawl's own request, judged by its nearest request.
        Connection* victim = nullptr;
        std::tuple<bool, bool, qint64, quint64> victimRank;
        for (Connection& connection : m_connections) {
            if (connection.origin != origin || connection.idle())
                continue;
            const ScheduledRequest* nearest = nullptr;
            for (const Slot& slot : connection.streams)
                if (slot.running && (!nearest || nearness(*slot.running) < nearness(*nearest)))
                    nearest = slot.running;
            if (nearest->executed)
                continue;
            const auto rank = std::tuple_cat(std::make_tuple(!connection.answered), nearness(*nearest));
            if (!victim || rank > victimRank) {
                victim = &connection;
                victimRank = rank;
            }
        }
        if (!victim)
            return;
        close(*victim);
    }
}

void ConnectionScheduler::checkStalls()
{
    const qint64 moment = now();
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        for (std::size_t k = 0; k < m_connections[i].streams.size(); ++k) {
            const Slot& slot = m_connections[i].streams[k];
            ScheduledRequest* waiting = slot.running;
            if (!waiting || waiting->headersKnown || waiting->dropped)
                continue;
            // Counted from the hop in progress: a redirect waiting for the interval is not held up.
            const qint64 sent = slot.control->hopSentAt();
            OriginState& origin = stateOf(waiting->origin);
            if (sent < 0 || moment - sent < std::max(StallFloorMs, StallFactor * std::max<qint64>(0, origin.fastestMs)))
                continue;
            // A server with a few workers may keep one for each of our idle connections.
            for (Connection& connection : m_connections)
                if (connection.idle() && connection.origin == waiting->origin)
                    close(connection);
            if (!waiting->executed || waiting->announced || origin.lastAnsweredStart <= waiting->startedAt
                || m_connections[i].multiplexed)
                continue;
            // Later requests are answered and the crawl's own is not: it waits behind connections
            // the origin does not serve, so the origin keeps those it answers on and the request
            // moves there.
            origin.limit = std::max(1, std::min(origin.limit, answeringTo(waiting->origin, i)));
            restartLater(*waiting, 0);
            close(m_connections[i]);
            enforceLimit(waiting->origin);
        }
    }
}

std::pair<int, int> ConnectionScheduler::connectionFor(ScheduledRequest& request)
{
    const QString& origin = request.origin;
    int empty = -1;
    int other = -1;
    const bool anotherStream = mayAddStream();
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        const Connection& connection = m_connections[i];
        // A kept-alive connection to the origin costs no new connection at all; one that speaks
        // HTTP/2 takes several requests.
        if (connection.origin == origin) {
            const int slot = connection.freeSlot(anotherStream);
            if (slot >= 0)
                return { int(i), slot };
            continue;
        }
        if (!connection.idle())
            continue;
        if (connection.origin.isEmpty() && empty < 0)
            empty = int(i);
        else if (!connection.origin.isEmpty() && other < 0)
            other = int(i);
    }
    if (openTo(origin) < stateOf(origin).limit) {
        if (empty >= 0)
            return { empty, 0 };
        if (other >= 0)
            return { other, 0 };
    }
    return request.executed ? preemptFor(request) : std::pair { -1, -1 };
}

// The crawl's own request finds every connection busy, or its origin at its limit: the most
// speculative prediction gives its slot up. At an origin that refused connections before, no
// connection to it is dropped for a new one, which it might count twice; the request waits instead.
std::pair<int, int> ConnectionScheduler::preemptFor(const ScheduledRequest& request)
{
    const OriginState& origin = stateOf(request.origin);
    const bool atLimit = openTo(request.origin) >= origin.limit;
    const bool limited = origin.limit < connections();
    const qint64 moment = now();
    ScheduledRequest* victim = nullptr;
    for (const Connection& connection : m_connections) {
        const bool sameOrigin = connection.origin == request.origin;
        if ((atLimit && !sameOrigin) || (sameOrigin && limited))
            continue;
        for (const Slot& slot : connection.streams) {
            ScheduledRequest* running = slot.running;
            if (!running || running->executed || (victim && nearness(*running) <= nearness(*victim)))
                continue;
            const qint64 fastest = stateOf(running->origin).fastestMs;
            const qint64 ripe = running->startedAt + std::max(PreemptFloorMs, PreemptFactor * fastest);
            if (fastest >= 0 && ripe > moment) {
                // Asked again when it may give way, unless a connection is free before.
                m_blockedUntil = m_blockedUntil < 0 ? ripe : std::min(m_blockedUntil, ripe);
                continue;
            }
            victim = running;
        }
    }
    if (!victim)
        return { -1, -1 };
    // It starts again later from the beginning.
    const int index = victim->connection;
    const int slot = victim->slot;
    restartLater(*victim, 0);
    // A connection to another origin is closed as the request starts, its first slot then free.
    return { index, m_connections[std::size_t(index)].origin == request.origin ? slot : 0 };
}

bool ConnectionScheduler::roomForPredictions() const
{
    const bool anotherStream = mayAddStream();
    return std::any_of(m_connections.cbegin(), m_connections.cend(),
        [anotherStream](const Connection& connection) { return connection.freeSlot(anotherStream) >= 0; });
}

bool ConnectionScheduler::mayAddStream() const
{
    int running = 0;
    for (const Connection& connection : m_connections)
        for (const Slot& slot : connection.streams)
            running += slot.running != nullptr;
    return running < MostStreams;
}

void ConnectionScheduler::startWhatMay()
{
    if (direct())
        return;
    checkStalls();
    const qint64 moment = now();
    m_blockedUntil = -1;
    bool room = roomForPredictions();
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
        const auto [index, slot] = connectionFor(*next);
        if (index >= 0) {
            start(*next, index, slot);
            room = roomForPredictions();
        }
    }
}

void ConnectionScheduler::start(ScheduledRequest& request, int index, int slot)
{
    Connection& connection = m_connections[std::size_t(index)];
    if (connection.origin != request.origin) {
        // Each connection is kept open to the origin it last served only.
        close(connection);
        connection.origin = request.origin;
    }
    Slot& place = slotOf(std::size_t(index), std::size_t(slot));
    request.started = true;
    request.cookieVersion = m_jar ? m_jar->version() : 0;
    request.connection = index;
    request.slot = slot;
    request.startedAt = now();
    place.running = &request;
    place.control->setRedirectLimit(request.redirectLimit);
    place.control->execute(request.address, request.verb, {}, request.headerLines);
}

bool ConnectionScheduler::running() const
{
    return std::any_of(
        m_connections.cbegin(), m_connections.cend(), [](const Connection& connection) { return !connection.idle(); });
}

void ConnectionScheduler::pumpConnections(int waitMs, int wakeDescriptor, const std::function<void(bool)>& hold)
{
    std::vector<CurlTransferControl*> running;
    for (const Connection& connection : m_connections)
        for (const Slot& slot : connection.streams)
            if (slot.running)
                running.push_back(slot.control.get());
    if (!running.empty()) {
        if (hold)
            hold(false);
        CurlTransferControl::pumpTogether(running, waitMs, wakeDescriptor, hold);
        if (hold)
            hold(true);
    } else if (waitMs > 0 && m_blockedUntil >= 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
}
