#include "platform/lookaheadtransfercontrol.h"

#include <QUrl>

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

QString hostKey(const QString& address)
{
    const QUrl url(address);
    const int port = url.port(url.scheme() == u"https"_s ? 443 : 80);
    return url.host().toLower() + u':' + QString::number(port);
}

} // namespace

struct LookAheadTransferControl::Prediction {
    Prediction(const QString& a, const QString& v, const QString& l, qint64 t, quint64 o)
        : address(a)
        , verb(v)
        , lines(l)
        , host(hostKey(a))
        , finalUrl(a)
        , tag(t)
        , order(o)
    {
    }

    bool matches(const QString& a, const QString& v, const QString& l) const
    {
        return address == a && verb == v && lines == l;
    }

    QString address;
    QString verb;
    QString lines;
    QString host;
    QString finalUrl; // where the answer came from, after redirects
    qint64 tag;
    quint64 order;
    int line = -1; // the connection running it
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
    m_clock.start();
    reconfigure(1, 0);
}

LookAheadTransferControl::~LookAheadTransferControl()
{
    m_handler = {};
    cancel();
    dropPredictions(AllTags);
    for (auto& line : m_lines)
        line->setStateHandler({});
}

void LookAheadTransferControl::reconfigure(int connections, int interval)
{
    if (!m_lines.empty())
        cancel();
    dropPredictions(AllTags);
    for (auto& line : m_lines)
        line->cancel();
    m_connections = std::clamp(connections, 1, 16);
    m_interval = std::max(0, interval);
    while (m_lines.size() < std::size_t(m_connections)) {
        auto line = std::make_unique<CurlTransferControl>();
        line->setAccessType(m_accessType);
        line->setProxy(m_proxy);
        line->setRequestTimeout(m_requestTimeout);
        m_lines.push_back(std::move(line));
    }
    m_lines.resize(std::size_t(m_connections));
    m_running.assign(m_lines.size(), nullptr);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (direct())
            m_lines[i]->setStateHandler(m_handler);
        else
            m_lines[i]->setStateHandler([this, i](int state) { onLineState(i, state); });
    }
}

void LookAheadTransferControl::setConnections(int connections)
{
    if (std::clamp(connections, 1, 16) != m_connections)
        reconfigure(connections, m_interval);
}

void LookAheadTransferControl::setRequestInterval(int milliseconds)
{
    if (std::max(0, milliseconds) != m_interval)
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
        m_lines.front()->setStateHandler(m_handler);
}

void LookAheadTransferControl::execute(
    const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines)
{
    if (direct()) {
        m_lines.front()->execute(address, verb, body, headerLines);
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
    return direct() ? m_lines.front()->busy() : m_busy;
}

void LookAheadTransferControl::cancel()
{
    if (direct()) {
        m_lines.front()->cancel();
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

void LookAheadTransferControl::stopRunning(Prediction& prediction)
{
    if (prediction.line < 0)
        return;
    m_lines[std::size_t(prediction.line)]->cancel();
    m_running[std::size_t(prediction.line)] = nullptr;
    prediction.line = -1;
}

void LookAheadTransferControl::erase(const Prediction* prediction)
{
    const auto it = std::find_if(m_predictions.begin(), m_predictions.end(),
        [prediction](const std::unique_ptr<Prediction>& p) { return p.get() == prediction; });
    if (it != m_predictions.end())
        m_predictions.erase(it);
}

void LookAheadTransferControl::onLineState(std::size_t line, int state)
{
    Prediction* prediction = m_running[line];
    if (!prediction)
        return;
    CurlTransferControl& control = *m_lines[line];
    switch (state) {
    case ResponseReceiving:
        prediction->finalUrl = control.finalUrl();
        prediction->headers = control.responseHeaders();
        prediction->headersKnown = true;
        drain(line, *prediction);
        break;
    case ResponseCompleted:
    case Error:
        if (!drain(line, *prediction))
            break;
        prediction->finalUrl = control.finalUrl();
        prediction->headers = control.responseHeaders();
        if (state == Error && prediction->errorCode == 0) {
            prediction->errorCode = control.lastErrorCode();
            prediction->errorText = control.lastErrorText();
        }
        prediction->finished = true;
        m_running[line] = nullptr;
        prediction->line = -1;
        break;
    default:
        break;
    }
}

bool LookAheadTransferControl::drain(std::size_t line, Prediction& prediction)
{
    CurlTransferControl& control = *m_lines[line];
    for (QByteArrayView piece = control.nextBodyPiece(); !piece.isEmpty(); piece = control.nextBodyPiece()) {
        if (prediction.body.append(piece, prediction.claimed)) {
            prediction.fresh = true;
            continue;
        }
        control.cancel();
        m_running[line] = nullptr;
        prediction.line = -1;
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

int LookAheadTransferControl::freeLine() const
{
    for (std::size_t i = 0; i < m_running.size(); ++i)
        if (!m_running[i])
            return int(i);
    return -1;
}

int LookAheadTransferControl::preemptLine()
{
    Prediction* victim = nullptr;
    for (Prediction* running : m_running) {
        if (!running || running->claimed)
            continue;
        if (!victim || std::tie(running->tag, running->order) > std::tie(victim->tag, victim->order))
            victim = running;
    }
    if (!victim)
        return -1;
    // It starts again later from the beginning.
    const int line = victim->line;
    stopRunning(*victim);
    victim->started = false;
    victim->headersKnown = false;
    victim->headers.clear();
    victim->body.clear();
    victim->fresh = false;
    return line;
}

LookAheadTransferControl::Prediction* LookAheadTransferControl::nextToStart(qint64 now, qint64& earliestBlocked) const
{
    Prediction* best = nullptr;
    for (const auto& prediction : m_predictions) {
        if (prediction->started)
            continue;
        if (m_interval > 0) {
            const auto last = m_lastStart.constFind(prediction->host);
            if (last != m_lastStart.cend() && now < *last + m_interval) {
                const qint64 allowed = *last + m_interval;
                earliestBlocked = earliestBlocked < 0 ? allowed : std::min(earliestBlocked, allowed);
                continue;
            }
        }
        if (!best)
            best = prediction.get();
        else if (prediction->claimed != best->claimed)
            best = prediction->claimed ? prediction.get() : best;
        else if (std::tie(prediction->tag, prediction->order) < std::tie(best->tag, best->order))
            best = prediction.get();
    }
    return best;
}

void LookAheadTransferControl::schedule()
{
    while (true) {
        const qint64 now = m_clock.elapsed();
        m_blockedUntil = -1;
        Prediction* next = nextToStart(now, m_blockedUntil);
        if (!next)
            return;
        int line = freeLine();
        if (line < 0 && next->claimed)
            line = preemptLine();
        if (line < 0)
            return;
        start(*next, line);
    }
}

void LookAheadTransferControl::start(Prediction& prediction, int line)
{
    prediction.started = true;
    prediction.line = line;
    m_running[std::size_t(line)] = &prediction;
    m_lastStart.insert(prediction.host, m_clock.elapsed());
    m_lines[std::size_t(line)]->execute(prediction.address, prediction.verb, {}, prediction.lines);
}

int LookAheadTransferControl::waitFor(int maxWaitMs, qint64 earliestBlocked) const
{
    const Prediction* current = m_current;
    if (current && current->started
        && ((current->headersKnown && !m_announced) || (m_announced && current->fresh) || current->finished))
        return 0;
    int wait = std::max(0, maxWaitMs);
    if (earliestBlocked >= 0)
        wait = int(std::clamp<qint64>(earliestBlocked - m_clock.elapsed(), 0, wait));
    return wait;
}

void LookAheadTransferControl::pump(int maxWaitMs)
{
    if (direct()) {
        m_lines.front()->pump(maxWaitMs);
        return;
    }
    schedule();
    std::vector<CurlTransferControl*> running;
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        if (m_running[i])
            running.push_back(m_lines[i].get());
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
        return m_lines.front()->nextBodyPiece();
    m_handedOut = m_current ? m_current->body.take() : QByteArray();
    return m_handedOut;
}

QByteArray LookAheadTransferControl::responseHeaders() const
{
    return direct() ? m_lines.front()->responseHeaders() : m_headers;
}

int LookAheadTransferControl::lastErrorCode() const
{
    return direct() ? m_lines.front()->lastErrorCode() : m_errorCode;
}

QString LookAheadTransferControl::lastErrorText() const
{
    return direct() ? m_lines.front()->lastErrorText() : m_errorText;
}

QString LookAheadTransferControl::url() const
{
    return direct() ? m_lines.front()->url() : m_url;
}

QString LookAheadTransferControl::finalUrl() const
{
    return direct() ? m_lines.front()->finalUrl() : m_finalUrl;
}

void LookAheadTransferControl::setUrl(const QString& address)
{
    m_url = address;
    m_lines.front()->setUrl(address);
}

int LookAheadTransferControl::protocol() const
{
    return m_protocol;
}

void LookAheadTransferControl::setProtocol(int protocol)
{
    m_protocol = protocol;
    m_lines.front()->setProtocol(protocol);
}

int LookAheadTransferControl::accessType() const
{
    return m_accessType;
}

void LookAheadTransferControl::setAccessType(int accessType)
{
    m_accessType = accessType;
    for (auto& line : m_lines)
        line->setAccessType(accessType);
}

QString LookAheadTransferControl::proxy() const
{
    return m_proxy;
}

void LookAheadTransferControl::setProxy(const QString& proxy)
{
    m_proxy = proxy;
    for (auto& line : m_lines)
        line->setProxy(proxy);
}

int LookAheadTransferControl::requestTimeout() const
{
    return m_requestTimeout;
}

void LookAheadTransferControl::setRequestTimeout(int seconds)
{
    m_requestTimeout = seconds;
    for (auto& line : m_lines)
        line->setRequestTimeout(seconds);
}

int LookAheadTransferControl::remotePort() const
{
    return m_remotePort;
}

void LookAheadTransferControl::setRemotePort(int port)
{
    m_remotePort = port;
    m_lines.front()->setRemotePort(port);
}
