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
    m_requests.clear();
    for (Connection& connection : m_connections) {
        connection.control->setStateHandler({});
        connection.control->cancel();
    }
}

void ConnectionScheduler::configure(int connections, int intervalMs)
{
    for (const auto& request : m_requests)
        stopRunning(*request, false);
    m_requests.clear();
    for (Connection& connection : m_connections)
        connection.control->cancel();
    m_pacer.setInterval(intervalMs);
    m_origins.clear();
    const std::size_t count = std::size_t(std::clamp(connections, 1, TransferControl::MostConnections));
    while (m_connections.size() < count) {
        Connection connection;
        connection.control = std::make_unique<CurlTransferControl>();
        connection.control->setAccessType(m_accessType);
        connection.control->setProxy(m_proxy);
        connection.control->setRequestTimeout(m_requestTimeout);
        connection.control->setPacer(&m_pacer);
        m_connections.push_back(std::move(connection));
    }
    m_connections.resize(count);
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        m_connections[i].running = nullptr;
        m_connections[i].control->setCookieJar(m_jar, direct());
        if (direct())
            m_connections[i].control->setStateHandler(m_directHandler);
        else
            m_connections[i].control->setStateHandler([this, i](int state) { onConnectionState(i, state); });
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
    m_requests.push_back(std::make_unique<ScheduledRequest>(address, verb, headerLines, tag, predicted, m_order++));
    return *m_requests.back();
}

void ConnectionScheduler::remove(ScheduledRequest& request)
{
    stopRunning(request);
    forget(&request);
}

void ConnectionScheduler::removePredicted(qint64 tag)
{
    std::vector<ScheduledRequest*> dropped;
    for (const auto& request : m_requests)
        if (request->predicted && !request->executed && request->tag == tag)
            dropped.push_back(request.get());
    for (ScheduledRequest* request : dropped)
        remove(*request);
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
    connection.control->closeConnections();
    connection.origin.clear();
    connection.answered = false;
}

void ConnectionScheduler::stopRunning(ScheduledRequest& request, bool abandoned)
{
    if (request.connection < 0)
        return;
    Connection& connection = m_connections[std::size_t(request.connection)];
    // libcurl closes the connection unless the answer was complete; either way it is counted as
    // open until it is closed here or used again.
    connection.control->cancel();
    connection.running = nullptr;
    request.connection = -1;
    if (abandoned)
        stateOf(request.origin).abandonedAt = now();
}

void ConnectionScheduler::restartLater(ScheduledRequest& request, qint64 notBefore)
{
    stopRunning(request);
    request.reset();
    request.notBefore = notBefore;
}

void ConnectionScheduler::onConnectionState(std::size_t index, int state)
{
    Connection& connection = m_connections[index];
    ScheduledRequest* request = connection.running;
    if (!request)
        return;
    CurlTransferControl& control = *connection.control;
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
            request->finalUrl = control.finalUrl();
            request->headers = headers;
            request->headersKnown = true;
        }
        drain(index, *request);
        break;
    case TransferControl::ResponseCompleted:
    case TransferControl::Error: {
        const int code = state == TransferControl::Error ? control.lastErrorCode() : 0;
        const bool lost = TransferControl::isConnectionFailure(code) || code == PartialFileCode;
        if (lost && !request->announced && takeBackRefused(index, *request, true))
            break;
        if (!drain(index, *request))
            break;
        request->finalUrl = control.finalUrl();
        request->headers = control.responseHeaders();
        request->cookies = control.cookiesNow();
        if (code != 0 && request->errorCode == 0) {
            request->errorCode = code;
            request->errorText = control.lastErrorText();
        }
        request->finished = true;
        connection.running = nullptr;
        request->connection = -1;
        // libcurl closes the connection of a failed request.
        if (code != 0)
            close(connection);
        break;
    }
    default:
        break;
    }
}

bool ConnectionScheduler::drain(std::size_t index, ScheduledRequest& request)
{
    CurlTransferControl& control = *m_connections[index].control;
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
    Connection& connection = m_connections[index];
    connection.running = nullptr;
    connection.control->cancel();
    close(connection);
    request.connection = -1;
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
            [&origin](const Connection& connection) { return !connection.running && connection.origin == origin; });
        if (idle != m_connections.end()) {
            close(*idle);
            continue;
        }
        // The prediction least needed gives its connection up, one not answered yet first.
        const Connection* victim = nullptr;
        for (const Connection& connection : m_connections) {
            const ScheduledRequest* running = connection.running;
            if (!running || running->executed || connection.origin != origin)
                continue;
            if (!victim
                || std::make_tuple(!connection.answered, nearness(*running))
                    > std::make_tuple(!victim->answered, nearness(*victim->running)))
                victim = &connection;
        }
        if (!victim)
            return;
        restartLater(*victim->running, 0);
    }
}

void ConnectionScheduler::checkStalls()
{
    const qint64 moment = now();
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        ScheduledRequest* waiting = m_connections[i].running;
        if (!waiting || waiting->headersKnown)
            continue;
        // Counted from the hop in progress: a redirect waiting for the interval is not held up.
        const qint64 sent = m_connections[i].control->hopSentAt();
        OriginState& origin = stateOf(waiting->origin);
        if (sent < 0 || moment - sent < std::max(StallFloorMs, StallFactor * std::max<qint64>(0, origin.fastestMs)))
            continue;
        // A server with a few workers may keep one for each of our idle connections.
        for (Connection& connection : m_connections)
            if (!connection.running && connection.origin == waiting->origin)
                close(connection);
        if (!waiting->executed || waiting->announced || origin.lastAnsweredStart <= waiting->startedAt)
            continue;
        // Later requests are answered and the crawl's own is not: it waits behind connections the
        // origin does not serve, so the origin keeps those it answers on and the request moves there.
        origin.limit = std::max(1, std::min(origin.limit, answeringTo(waiting->origin, i)));
        restartLater(*waiting, 0);
        close(m_connections[i]);
        enforceLimit(waiting->origin);
    }
}

int ConnectionScheduler::connectionFor(ScheduledRequest& request)
{
    const QString& origin = request.origin;
    int empty = -1;
    int other = -1;
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        const Connection& connection = m_connections[i];
        if (connection.running)
            continue;
        // A kept-alive connection to the origin costs no new connection at all.
        if (connection.origin == origin)
            return int(i);
        if (connection.origin.isEmpty() && empty < 0)
            empty = int(i);
        else if (!connection.origin.isEmpty() && other < 0)
            other = int(i);
    }
    if (openTo(origin) < stateOf(origin).limit) {
        if (empty >= 0)
            return empty;
        if (other >= 0)
            return other;
    }
    return request.executed ? preemptFor(request) : -1;
}

// The crawl's own request finds every connection busy, or its origin at its limit: the most
// speculative prediction gives its connection up. At an origin that refused connections before, no
// connection to it is dropped for a new one, which it might count twice; the request waits instead.
int ConnectionScheduler::preemptFor(const ScheduledRequest& request)
{
    const OriginState& origin = stateOf(request.origin);
    const bool atLimit = openTo(request.origin) >= origin.limit;
    const bool limited = origin.limit < connections();
    ScheduledRequest* victim = nullptr;
    for (const Connection& connection : m_connections) {
        ScheduledRequest* running = connection.running;
        if (!running || running->executed)
            continue;
        const bool sameOrigin = connection.origin == request.origin;
        if ((atLimit && !sameOrigin) || (sameOrigin && limited))
            continue;
        if (!victim || nearness(*running) > nearness(*victim))
            victim = running;
    }
    if (!victim)
        return -1;
    // It starts again later from the beginning.
    const int index = victim->connection;
    restartLater(*victim, 0);
    return index;
}

void ConnectionScheduler::startWhatMay()
{
    if (direct())
        return;
    checkStalls();
    const qint64 moment = now();
    m_blockedUntil = -1;
    std::vector<ScheduledRequest*> waiting;
    for (const auto& request : m_requests)
        if (!request->started)
            waiting.push_back(request.get());
    std::sort(waiting.begin(), waiting.end(),
        [](const ScheduledRequest* a, const ScheduledRequest* b) { return nearness(*a) < nearness(*b); });
    const auto idle = [this] {
        return std::any_of(m_connections.cbegin(), m_connections.cend(),
            [](const Connection& connection) { return !connection.running; });
    };
    bool anyIdle = idle();
    for (ScheduledRequest* next : waiting) {
        // With every connection busy only the crawl's own request may take one.
        if (!anyIdle && !next->executed)
            continue;
        const qint64 allowed = std::max(next->notBefore, moment + m_pacer.waitFor(next->host));
        if (allowed > moment) {
            m_blockedUntil = m_blockedUntil < 0 ? allowed : std::min(m_blockedUntil, allowed);
            continue;
        }
        const int index = connectionFor(*next);
        if (index >= 0) {
            start(*next, index);
            anyIdle = idle();
        }
    }
}

void ConnectionScheduler::start(ScheduledRequest& request, int index)
{
    Connection& connection = m_connections[std::size_t(index)];
    if (connection.origin != request.origin) {
        // Each connection is kept open to the origin it last served only.
        close(connection);
        connection.origin = request.origin;
    }
    request.started = true;
    request.cookieVersion = m_jar ? m_jar->version() : 0;
    request.connection = index;
    request.startedAt = now();
    connection.running = &request;
    connection.control->setRedirectLimit(request.redirectLimit);
    connection.control->execute(request.address, request.verb, {}, request.headerLines);
}

void ConnectionScheduler::pumpConnections(int waitMs)
{
    std::vector<CurlTransferControl*> running;
    for (const Connection& connection : m_connections)
        if (connection.running)
            running.push_back(connection.control.get());
    if (!running.empty())
        CurlTransferControl::pumpTogether(running, waitMs);
    else if (waitMs > 0 && m_blockedUntil >= 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
}
