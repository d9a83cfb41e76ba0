#include "platform/lookaheadtransfercontrol.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// What a waiting prediction may keep in memory before its body goes to a temporary file.
constexpr qsizetype PredictionMemory = 256 * 1024;
// The code and text of a prediction whose spooled body could not be written or read back.
constexpr int SpoolErrorCode = 23; // libcurl's CURLE_WRITE_ERROR
const QString SpoolErrorText = u"the body fetched ahead could not be kept in a temporary file"_s;
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

int statusOf(const QByteArray& headers)
{
    const QList<QByteArray> parts = headers.left(headers.indexOf('\n')).simplified().split(' ');
    return parts.size() >= 2 ? parts.at(1).toInt() : 0;
}

} // namespace

struct LookAheadTransferControl::Prediction {
    Prediction(const QString& a, const QString& v, const QString& l, qint64 t, quint64 o)
        : address(a)
        , verb(v)
        , lines(l)
        , host(RequestPacer::hostOf(a))
        , origin(RequestPacer::originOf(a))
        , finalUrl(a)
        , tag(t)
        , order(o)
    {
    }

    bool matches(const QString& a, const QString& v, const QString& l) const
    {
        return address == a && verb == v && lines == l;
    }
    // Forgets whatever an attempt brought, so the request can start again from nothing.
    void reset()
    {
        started = false;
        finished = false;
        headersKnown = false;
        fresh = false;
        headers.clear();
        body.clear();
        errorCode = 0;
        errorText.clear();
        finalUrl = address;
    }

    QString address;
    QString verb;
    QString lines;
    QString host; // as the pacer knows it
    QString origin; // whose connections it may use
    QString finalUrl; // where the answer came from, after redirects
    qint64 tag;
    quint64 order;
    int line = -1; // the connection running it
    qint64 startedAt = 0;
    qint64 notBefore = 0; // a request sent again waits until then
    int resends = 0;
    bool started = false;
    bool finished = false;
    bool claimed = false; // executed: it is m_current
    bool headersKnown = false;
    bool fresh = false; // body bytes arrived that the caller was not told of yet
    QByteArray headers;
    SpooledBody body { PredictionMemory };
    int errorCode = 0;
    QString errorText;
};

LookAheadTransferControl::LookAheadTransferControl()
{
    reconfigure(1, 0);
}

LookAheadTransferControl::~LookAheadTransferControl()
{
    m_handler = {};
    cancel();
    dropPredictions(AllTags);
    for (Line& line : m_lines)
        line.control->setStateHandler({});
}

void LookAheadTransferControl::reconfigure(int connections, int interval)
{
    if (!m_lines.empty())
        cancel();
    dropPredictions(AllTags);
    for (Line& line : m_lines)
        line.control->cancel();
    m_connections = std::clamp(connections, 1, 16);
    m_pacer.setInterval(interval);
    m_origins.clear();
    while (m_lines.size() < std::size_t(m_connections)) {
        Line line;
        line.control = std::make_unique<CurlTransferControl>();
        line.control->setAccessType(m_accessType);
        line.control->setProxy(m_proxy);
        line.control->setRequestTimeout(m_requestTimeout);
        line.control->setPacer(&m_pacer);
        m_lines.push_back(std::move(line));
    }
    m_lines.resize(std::size_t(m_connections));
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        m_lines[i].running = nullptr;
        if (direct())
            m_lines[i].control->setStateHandler(m_handler);
        else
            m_lines[i].control->setStateHandler([this, i](int state) { onLineState(i, state); });
    }
}

void LookAheadTransferControl::setConnections(int connections)
{
    if (std::clamp(connections, 1, 16) != m_connections)
        reconfigure(connections, m_pacer.interval());
}

void LookAheadTransferControl::setRequestInterval(int milliseconds)
{
    if (std::max(0, milliseconds) != m_pacer.interval())
        reconfigure(m_connections, milliseconds);
}

int LookAheadTransferControl::connections() const
{
    return m_connections;
}

void LookAheadTransferControl::setStateHandler(StateHandler handler)
{
    m_handler = std::move(handler);
    if (direct())
        m_lines.front().control->setStateHandler(m_handler);
}

void LookAheadTransferControl::execute(
    const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines)
{
    if (direct()) {
        m_lines.front().control->execute(address, verb, body, headerLines);
        return;
    }
    cancel();
    m_url = address;
    m_finalUrl = address;
    m_headers.clear();
    m_errorCode = 0;
    m_errorText.clear();
    m_announced = false;
    m_busy = true;
    Prediction* found = nullptr;
    if (body.isEmpty()) {
        for (const auto& prediction : m_predictions) {
            if (prediction->matches(address, verb, headerLines)) {
                found = prediction.get();
                break;
            }
        }
    }
    if (!found) {
        m_predictions.push_back(std::make_unique<Prediction>(address, verb, headerLines, AllTags, m_order++));
        found = m_predictions.back().get();
    }
    found->claimed = true;
    found->fresh = !found->body.isEmpty();
    m_current = found;
    schedule();
}

bool LookAheadTransferControl::busy() const
{
    return direct() ? m_lines.front().control->busy() : m_busy;
}

void LookAheadTransferControl::cancel()
{
    if (direct()) {
        m_lines.front().control->cancel();
        return;
    }
    ++m_generation;
    m_busy = false;
    if (m_current) {
        stopRunning(*m_current);
        erase(std::exchange(m_current, nullptr));
    }
}

void LookAheadTransferControl::predict(
    const QString& address, const QString& verb, const QString& headerLines, qint64 tag)
{
    if (m_connections <= 1)
        return;
    for (const auto& prediction : m_predictions)
        if (prediction->matches(address, verb, headerLines))
            return;
    m_predictions.push_back(std::make_unique<Prediction>(address, verb, headerLines, tag, m_order++));
    schedule();
}

void LookAheadTransferControl::dropPredictions(qint64 tag)
{
    std::vector<const Prediction*> dropped;
    for (const auto& prediction : m_predictions) {
        if (!prediction->claimed && (tag == AllTags || prediction->tag == tag)) {
            stopRunning(*prediction);
            dropped.push_back(prediction.get());
        }
    }
    for (const Prediction* prediction : dropped)
        erase(prediction);
}

int LookAheadTransferControl::pendingPredictions() const
{
    return int(std::count_if(m_predictions.cbegin(), m_predictions.cend(),
        [](const std::unique_ptr<Prediction>& prediction) { return !prediction->claimed; }));
}

LookAheadTransferControl::OriginState& LookAheadTransferControl::stateOf(const QString& origin)
{
    auto found = m_origins.find(origin);
    if (found == m_origins.end()) {
        OriginState fresh;
        fresh.limit = m_connections;
        found = m_origins.insert(origin, fresh);
    }
    return *found;
}

int LookAheadTransferControl::openTo(const QString& origin, std::size_t except) const
{
    int open = 0;
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        open += i != except && m_lines[i].origin == origin;
    return open;
}

void LookAheadTransferControl::closeLine(Line& line)
{
    line.control->closeConnections();
    line.origin.clear();
    line.answered = false;
}

void LookAheadTransferControl::stopRunning(Prediction& prediction, bool abandoned)
{
    if (prediction.line < 0)
        return;
    Line& line = m_lines[std::size_t(prediction.line)];
    // libcurl closes the connection unless the answer was complete; either way it is counted as
    // open until the line closes it or uses it again.
    line.control->cancel();
    line.running = nullptr;
    prediction.line = -1;
    if (abandoned)
        stateOf(prediction.origin).abandonedAt = m_pacer.now();
}

void LookAheadTransferControl::restartLater(Prediction& prediction, qint64 notBefore, bool abandoned)
{
    stopRunning(prediction, abandoned);
    prediction.reset();
    prediction.notBefore = notBefore;
}

void LookAheadTransferControl::erase(const Prediction* prediction)
{
    const auto it = std::find_if(m_predictions.begin(), m_predictions.end(),
        [prediction](const std::unique_ptr<Prediction>& p) { return p.get() == prediction; });
    if (it != m_predictions.end())
        m_predictions.erase(it);
}

void LookAheadTransferControl::onLineState(std::size_t index, int state)
{
    Line& line = m_lines[index];
    Prediction* prediction = line.running;
    if (!prediction)
        return;
    CurlTransferControl& control = *line.control;
    switch (state) {
    case ResponseReceiving:
        if (!prediction->headersKnown) {
            const QByteArray headers = control.responseHeaders();
            if (statusOf(headers) == 503 && takeBackRefused(index, *prediction, false))
                break;
            OriginState& origin = stateOf(prediction->origin);
            const qint64 took = m_pacer.now() - prediction->startedAt;
            origin.fastestMs = origin.fastestMs < 0 ? took : std::min(origin.fastestMs, took);
            origin.lastAnsweredStart = std::max(origin.lastAnsweredStart, prediction->startedAt);
            line.answered = true;
            prediction->finalUrl = control.finalUrl();
            prediction->headers = headers;
            prediction->headersKnown = true;
        }
        drain(index, *prediction);
        break;
    case ResponseCompleted:
    case Error: {
        const int code = state == Error ? control.lastErrorCode() : 0;
        const bool lost = isConnectionFailure(code) || code == PartialFileCode;
        if (lost && !(prediction->claimed && m_announced) && takeBackRefused(index, *prediction, true))
            break;
        if (!drain(index, *prediction))
            break;
        prediction->finalUrl = control.finalUrl();
        prediction->headers = control.responseHeaders();
        if (state == Error && prediction->errorCode == 0) {
            prediction->errorCode = code;
            prediction->errorText = control.lastErrorText();
        }
        prediction->finished = true;
        line.running = nullptr;
        prediction->line = -1;
        // libcurl closes the connection of a failed request.
        if (state == Error)
            closeLine(line);
        break;
    }
    default:
        break;
    }
}

bool LookAheadTransferControl::takeBackRefused(std::size_t index, Prediction& prediction, bool connectionLost)
{
    OriginState& origin = stateOf(prediction.origin);
    const qint64 now = m_pacer.now();
    const int others = openTo(prediction.origin, index);
    const bool justAbandoned = origin.abandonedAt >= 0 && now - origin.abandonedAt < AbandonMemoryMs;
    const bool alone = others == 0 && !justAbandoned;
    // What one connection would have met too is the answer.
    if (prediction.claimed && (alone || prediction.resends >= MaxResends))
        return false;
    if (!prediction.claimed && alone && !connectionLost)
        return false;

    // Whatever comes of it, the refused connection is not used again.
    Line& line = m_lines[index];
    line.running = nullptr;
    line.control->cancel();
    closeLine(line);
    prediction.line = -1;
    if (!connectionLost)
        origin.abandonedAt = now; // a 503 cut short in its body
    if (!prediction.claimed && (alone || prediction.resends >= 1)) {
        // Never served: the crawl's own request is sent afresh when its turn comes.
        erase(&prediction);
        return true;
    }
    if (others > 0) {
        // One connection too many for this origin: one fewer from now on, and no more than it
        // has answered on.
        int answered = 0;
        for (std::size_t i = 0; i < m_lines.size(); ++i)
            answered += i != index && m_lines[i].origin == prediction.origin && m_lines[i].answered;
        origin.limit = std::max(1, std::min(origin.limit - 1, answered > 0 ? answered : origin.limit - 1));
    }
    ++prediction.resends;
    prediction.reset();
    prediction.notBefore = now + (ResendPauseMs << (prediction.resends - 1));
    enforceLimit(prediction.origin);
    return true;
}

void LookAheadTransferControl::enforceLimit(const QString& origin)
{
    const int limit = stateOf(origin).limit;
    while (openTo(origin) > limit) {
        const auto idle = std::find_if(m_lines.begin(), m_lines.end(),
            [&origin](const Line& line) { return !line.running && line.origin == origin; });
        if (idle != m_lines.end()) {
            closeLine(*idle);
            continue;
        }
        // The prediction least needed gives its connection up, one not answered yet first.
        Prediction* victim = nullptr;
        for (const Line& line : m_lines) {
            Prediction* running = line.running;
            if (!running || running->claimed || line.origin != origin)
                continue;
            if (!victim
                || std::make_tuple(!line.answered, running->tag, running->order)
                    > std::make_tuple(!m_lines[std::size_t(victim->line)].answered, victim->tag, victim->order))
                victim = running;
        }
        if (!victim)
            return;
        restartLater(*victim, 0);
    }
}

bool LookAheadTransferControl::drain(std::size_t index, Prediction& prediction)
{
    Line& line = m_lines[index];
    CurlTransferControl& control = *line.control;
    for (QByteArrayView piece = control.nextBodyPiece(); !piece.isEmpty(); piece = control.nextBodyPiece()) {
        if (prediction.body.append(piece, prediction.claimed)) {
            prediction.fresh = true;
            continue;
        }
        stopRunning(prediction);
        if (!prediction.claimed) {
            // Not served: the request, when it is executed, runs afresh.
            erase(&prediction);
            return false;
        }
        prediction.errorCode = SpoolErrorCode;
        prediction.errorText = SpoolErrorText;
        prediction.finished = true;
        return false;
    }
    return true;
}

void LookAheadTransferControl::checkStalls()
{
    const qint64 now = m_pacer.now();
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        Prediction* waiting = m_lines[i].running;
        if (!waiting || waiting->headersKnown)
            continue;
        OriginState& origin = stateOf(waiting->origin);
        if (now - waiting->startedAt < std::max(StallFloorMs, StallFactor * std::max<qint64>(0, origin.fastestMs)))
            continue;
        // A server with a few workers may keep one for each of our idle connections.
        for (Line& line : m_lines)
            if (!line.running && line.origin == waiting->origin)
                closeLine(line);
        if (!waiting->claimed || m_announced || origin.lastAnsweredStart <= waiting->startedAt)
            continue;
        // Later requests are answered and the crawl's own is not: it waits behind connections the
        // origin does not serve, so the origin keeps those it answers on and the request moves there.
        int answered = 0;
        for (std::size_t j = 0; j < m_lines.size(); ++j)
            answered += j != i && m_lines[j].origin == waiting->origin && m_lines[j].answered;
        origin.limit = std::max(1, std::min(origin.limit, answered));
        restartLater(*waiting, 0);
        closeLine(m_lines[i]);
        enforceLimit(waiting->origin);
    }
}

int LookAheadTransferControl::lineFor(Prediction& prediction)
{
    const QString& origin = prediction.origin;
    int empty = -1;
    int other = -1;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.running)
            continue;
        // A kept-alive connection to the origin costs no new connection at all.
        if (line.origin == origin)
            return int(i);
        if (line.origin.isEmpty() && empty < 0)
            empty = int(i);
        else if (!line.origin.isEmpty() && other < 0)
            other = int(i);
    }
    if (openTo(origin) < stateOf(origin).limit) {
        if (empty >= 0)
            return empty;
        if (other >= 0)
            return other;
    }
    return prediction.claimed ? preemptLineFor(prediction) : -1;
}

// The crawl's own request finds every line busy, or its origin at its limit: the most speculative
// prediction gives its connection up. At an origin that refused connections before, no connection
// to it is dropped for a new one, which it might count twice; the request waits for one to finish.
int LookAheadTransferControl::preemptLineFor(const Prediction& prediction)
{
    const OriginState& origin = stateOf(prediction.origin);
    const bool atLimit = openTo(prediction.origin) >= origin.limit;
    const bool limited = origin.limit < m_connections;
    Prediction* victim = nullptr;
    for (const Line& line : m_lines) {
        Prediction* running = line.running;
        if (!running || running->claimed)
            continue;
        const bool sameOrigin = line.origin == prediction.origin;
        if ((atLimit && !sameOrigin) || (sameOrigin && limited))
            continue;
        if (!victim || std::tie(running->tag, running->order) > std::tie(victim->tag, victim->order))
            victim = running;
    }
    if (!victim)
        return -1;
    // It starts again later from the beginning.
    const int line = victim->line;
    restartLater(*victim, 0);
    return line;
}

void LookAheadTransferControl::schedule()
{
    const qint64 now = m_pacer.now();
    m_blockedUntil = -1;
    std::vector<Prediction*> waiting;
    for (const auto& prediction : m_predictions)
        if (!prediction->started)
            waiting.push_back(prediction.get());
    std::sort(waiting.begin(), waiting.end(), [](const Prediction* a, const Prediction* b) {
        return std::make_tuple(!a->claimed, a->tag, a->order) < std::make_tuple(!b->claimed, b->tag, b->order);
    });
    for (Prediction* next : waiting) {
        const qint64 allowed = std::max(next->notBefore, now + m_pacer.waitFor(next->host));
        if (allowed > now) {
            m_blockedUntil = m_blockedUntil < 0 ? allowed : std::min(m_blockedUntil, allowed);
            continue;
        }
        const int line = lineFor(*next);
        if (line >= 0)
            start(*next, line);
    }
}

void LookAheadTransferControl::start(Prediction& prediction, int index)
{
    Line& line = m_lines[std::size_t(index)];
    if (line.origin != prediction.origin) {
        // Each line keeps one connection open, to the origin it last served.
        closeLine(line);
        line.origin = prediction.origin;
    }
    prediction.started = true;
    prediction.line = index;
    prediction.startedAt = m_pacer.now();
    line.running = &prediction;
    line.control->execute(prediction.address, prediction.verb, {}, prediction.lines);
}

int LookAheadTransferControl::waitFor(int maxWaitMs, qint64 earliestBlocked) const
{
    const Prediction* current = m_current;
    if (current && current->started
        && ((current->headersKnown && !m_announced) || (m_announced && current->fresh) || current->finished))
        return 0;
    int wait = std::max(0, maxWaitMs);
    if (earliestBlocked >= 0)
        wait = int(std::clamp<qint64>(earliestBlocked - m_pacer.now(), 0, wait));
    return wait;
}

void LookAheadTransferControl::pump(int maxWaitMs)
{
    if (direct()) {
        m_lines.front().control->pump(maxWaitMs);
        return;
    }
    checkStalls();
    schedule();
    std::vector<CurlTransferControl*> running;
    for (const Line& line : m_lines)
        if (line.running)
            running.push_back(line.control.get());
    // Only a caller waiting for its request sleeps here; otherwise the connections are just advanced.
    const int wait = m_busy ? waitFor(maxWaitMs, m_blockedUntil) : 0;
    if (!running.empty())
        CurlTransferControl::pumpTogether(running, wait);
    else if (wait > 0 && m_blockedUntil >= 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    schedule();
    deliver();
}

void LookAheadTransferControl::deliver()
{
    Prediction* current = m_current;
    if (!m_busy || !current || !current->started)
        return;
    if ((current->headersKnown && !m_announced) || (m_announced && current->fresh)) {
        m_announced = true;
        current->fresh = false;
        m_headers = current->headers;
        m_finalUrl = current->finalUrl;
        if (!raise(ResponseReceiving))
            return;
    }
    if (!current->finished)
        return;
    m_busy = false;
    m_headers = current->headers;
    m_finalUrl = current->finalUrl;
    int code = current->errorCode;
    QString text = current->errorText;
    if (current->body.failed()) {
        code = SpoolErrorCode;
        text = SpoolErrorText;
    }
    const bool failed = code != 0;
    if (failed) {
        m_errorCode = code;
        m_errorText = text;
    }
    // The answer is over; what the handler reads of the body comes from the prediction.
    const unsigned generation = m_generation;
    raise(failed ? Error : ResponseCompleted);
    if (generation == m_generation && m_current == current) {
        erase(current);
        m_current = nullptr;
    }
}

bool LookAheadTransferControl::raise(int state)
{
    const unsigned generation = m_generation;
    if (m_handler) {
        const StateHandler handler = m_handler;
        handler(state);
    }
    return generation == m_generation;
}

QByteArrayView LookAheadTransferControl::nextBodyPiece()
{
    if (direct())
        return m_lines.front().control->nextBodyPiece();
    m_handedOut = m_current ? m_current->body.take() : QByteArray();
    return m_handedOut;
}

QByteArray LookAheadTransferControl::responseHeaders() const
{
    return direct() ? m_lines.front().control->responseHeaders() : m_headers;
}

int LookAheadTransferControl::lastErrorCode() const
{
    return direct() ? m_lines.front().control->lastErrorCode() : m_errorCode;
}

QString LookAheadTransferControl::lastErrorText() const
{
    return direct() ? m_lines.front().control->lastErrorText() : m_errorText;
}

QString LookAheadTransferControl::url() const
{
    return direct() ? m_lines.front().control->url() : m_url;
}

QString LookAheadTransferControl::finalUrl() const
{
    return direct() ? m_lines.front().control->finalUrl() : m_finalUrl;
}

void LookAheadTransferControl::setUrl(const QString& address)
{
    m_url = address;
    m_lines.front().control->setUrl(address);
}

int LookAheadTransferControl::protocol() const
{
    return m_protocol;
}

void LookAheadTransferControl::setProtocol(int protocol)
{
    m_protocol = protocol;
    m_lines.front().control->setProtocol(protocol);
}

int LookAheadTransferControl::accessType() const
{
    return m_accessType;
}

void LookAheadTransferControl::setAccessType(int accessType)
{
    m_accessType = accessType;
    for (Line& line : m_lines)
        line.control->setAccessType(accessType);
}

QString LookAheadTransferControl::proxy() const
{
    return m_proxy;
}

void LookAheadTransferControl::setProxy(const QString& proxy)
{
    m_proxy = proxy;
    for (Line& line : m_lines)
        line.control->setProxy(proxy);
}

int LookAheadTransferControl::requestTimeout() const
{
    return m_requestTimeout;
}

void LookAheadTransferControl::setRequestTimeout(int seconds)
{
    m_requestTimeout = seconds;
    for (Line& line : m_lines)
        line.control->setRequestTimeout(seconds);
}

int LookAheadTransferControl::remotePort() const
{
    return m_remotePort;
}

void LookAheadTransferControl::setRemotePort(int port)
{
    m_remotePort = port;
    m_lines.front().control->setRemotePort(port);
}
