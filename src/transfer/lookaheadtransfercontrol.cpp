#include "transfer/lookaheadtransfercontrol.h"

#include "transfer/curlrequest.h"

#include <algorithm>
#include <utility>

LookAheadTransferControl::LookAheadTransferControl() = default;

LookAheadTransferControl::~LookAheadTransferControl()
{
    m_handler = {};
    m_scheduler.setDirectHandler({});
    cancel();
}

void LookAheadTransferControl::reconfigure(int connections, int interval)
{
    cancel();
    m_scheduler.configure(connections, interval);
    m_scheduler.setDirectHandler(m_handler);
}

void LookAheadTransferControl::setConnections(int connections)
{
    if (std::clamp(connections, 1, MostConnections) != m_scheduler.connections())
        reconfigure(connections, m_scheduler.interval());
}

void LookAheadTransferControl::setRequestInterval(int milliseconds)
{
    if (std::max(0, milliseconds) != m_scheduler.interval())
        reconfigure(m_scheduler.connections(), milliseconds);
}

void LookAheadTransferControl::setHostInterval(const QString& address, int milliseconds)
{
    m_scheduler.setHostInterval(RequestPacer::hostOf(address), milliseconds);
}

void LookAheadTransferControl::holdHost(const QString& address, qint64 milliseconds)
{
    const QString host = RequestPacer::hostOf(address);
    m_scheduler.holdHost(host, milliseconds);
    // Answers fetched ahead that asked to wait too are asked again when executed, after the hold.
    m_scheduler.removePredictedIf([&host](const ScheduledRequest& request) {
        const int status = request.headersKnown ? StatusCodeOf(request.headers) : 0;
        return request.host == host && (status == 429 || status == 503);
    });
}

void LookAheadTransferControl::forgetHosts()
{
    m_scheduler.forgetHosts();
}

void LookAheadTransferControl::setCookies(const QByteArray& text, bool keep)
{
    cancel();
    m_scheduler.removeAllPredicted();
    m_jar.setText(text, keep);
    m_cookies = keep || !m_jar.lines().isEmpty();
    m_scheduler.setCookieJar(m_cookies ? &m_jar : nullptr);
}

int LookAheadTransferControl::connections() const
{
    return m_scheduler.connections();
}

void LookAheadTransferControl::setStateHandler(StateHandler handler)
{
    m_handler = std::move(handler);
    m_scheduler.setDirectHandler(m_handler);
}

void LookAheadTransferControl::execute(
    const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines)
{
    if (direct()) {
        m_scheduler.firstControl().execute(address, verb, body, headerLines);
        return;
    }
    cancel();
    m_url = address;
    m_finalUrl = address;
    m_headers.clear();
    m_errorCode = 0;
    m_errorText.clear();
    m_busy = true;
    // A request with a body, or with a limit of its own on redirects, is never predicted.
    ScheduledRequest* found
        = body.isEmpty() && m_redirectLimit == MostRedirects ? m_scheduler.find(address, verb, headerLines) : nullptr;
    // One fetched ahead with other cookies than the crawl's request carries now is another request.
    if (found && found->started && m_cookies && found->cookieVersion != m_jar.version()) {
        m_scheduler.remove(*found);
        found = nullptr;
    }
    ++m_executed;
    m_served += found != nullptr;
    if (!found) {
        found = &m_scheduler.add(address, verb, headerLines, 0, false);
        found->redirectLimit = m_redirectLimit;
    }
    found->executed = true;
    found->announced = false;
    found->fresh = !found->body.isEmpty();
    m_current = found;
    m_scheduler.startWhatMay();
}

bool LookAheadTransferControl::busy() const
{
    return direct() ? m_scheduler.firstControl().busy() : m_busy;
}

void LookAheadTransferControl::cancel()
{
    if (direct()) {
        m_scheduler.firstControl().cancel();
        return;
    }
    ++m_generation;
    m_busy = false;
    if (m_current)
        m_scheduler.remove(*std::exchange(m_current, nullptr));
}

void LookAheadTransferControl::predict(
    const QString& address, const QString& verb, const QString& headerLines, qint64 tag)
{
    if (m_scheduler.connections() <= 1 || m_scheduler.find(address, verb, headerLines))
        return;
    m_scheduler.add(address, verb, headerLines, tag, true);
    m_scheduler.startWhatMay();
}

bool LookAheadTransferControl::answerFetchedAhead(const QString& address, const QString& verb,
    const QString& headerLines, QByteArray& headers, QString& finalUrl, QByteArray& body) const
{
    const ScheduledRequest* found = direct() ? nullptr : m_scheduler.find(address, verb, headerLines);
    if (!found || !found->finished || found->executed || found->errorCode != 0 || !found->body.inMemory())
        return false;
    headers = found->headers;
    finalUrl = found->finalUrl;
    body = *found->body.inMemory();
    return true;
}

void LookAheadTransferControl::dropPredictions(qint64 tag)
{
    m_scheduler.removePredicted(tag);
}

void LookAheadTransferControl::dropAllPredictions()
{
    m_scheduler.removeAllPredicted();
}

int LookAheadTransferControl::pendingPredictions() const
{
    return m_scheduler.predictedWaiting();
}

// Nothing to wait for when the executed request has something to tell; otherwise at most until a
// request held back by a wait may start.
int LookAheadTransferControl::waitFor(int maxWaitMs) const
{
    const ScheduledRequest* current = m_current;
    if (current && current->started
        && ((current->headersKnown && !current->announced) || (current->announced && current->fresh)
            || current->finished))
        return 0;
    int wait = std::max(0, maxWaitMs);
    if (m_scheduler.blockedUntil() >= 0)
        wait = int(std::clamp<qint64>(m_scheduler.blockedUntil() - m_scheduler.now(), 0, wait));
    return wait;
}

void LookAheadTransferControl::pump(int maxWaitMs)
{
    if (direct()) {
        m_scheduler.firstControl().pump(maxWaitMs);
        return;
    }
    m_scheduler.startWhatMay();
    // Only a caller waiting for its request sleeps here; otherwise the connections are just advanced.
    m_scheduler.pumpConnections(m_busy ? waitFor(maxWaitMs) : 0);
    m_scheduler.startWhatMay();
    deliver();
}

void LookAheadTransferControl::deliver()
{
    ScheduledRequest* current = m_current;
    if (!m_busy || !current || !current->started)
        return;
    if ((current->headersKnown && !current->announced) || (current->announced && current->fresh)) {
        current->announced = true;
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
        code = ConnectionScheduler::SpoolErrorCode;
        text = ConnectionScheduler::spoolErrorText();
    }
    if (code != 0) {
        m_errorCode = code;
        m_errorText = text;
    }
    if (m_cookies && current->cookies)
        m_jar.commit(*current->cookies);
    // The answer is over; what the handler reads of the body comes from the request.
    const unsigned generation = m_generation;
    raise(code != 0 ? Error : ResponseCompleted);
    if (generation == m_generation && m_current == current)
        m_scheduler.remove(*std::exchange(m_current, nullptr));
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
        return m_scheduler.firstControl().nextBodyPiece();
    m_handedOut = m_current ? m_current->body.take() : QByteArray();
    return m_handedOut;
}

QByteArray LookAheadTransferControl::responseHeaders() const
{
    return direct() ? m_scheduler.firstControl().responseHeaders() : m_headers;
}

int LookAheadTransferControl::lastErrorCode() const
{
    return direct() ? m_scheduler.firstControl().lastErrorCode() : m_errorCode;
}

QString LookAheadTransferControl::lastErrorText() const
{
    return direct() ? m_scheduler.firstControl().lastErrorText() : m_errorText;
}

QString LookAheadTransferControl::url() const
{
    return direct() ? m_scheduler.firstControl().url() : m_url;
}

QString LookAheadTransferControl::finalUrl() const
{
    return direct() ? m_scheduler.firstControl().finalUrl() : m_finalUrl;
}

void LookAheadTransferControl::setUrl(const QString& address)
{
    m_url = address;
    m_scheduler.firstControl().setUrl(address);
}

int LookAheadTransferControl::protocol() const
{
    return m_protocol;
}

void LookAheadTransferControl::setProtocol(int protocol)
{
    m_protocol = protocol;
    m_scheduler.firstControl().setProtocol(protocol);
}

int LookAheadTransferControl::accessType() const
{
    return m_accessType;
}

void LookAheadTransferControl::setAccessType(int accessType)
{
    m_accessType = accessType;
    m_scheduler.setAccessType(accessType);
}

QString LookAheadTransferControl::proxy() const
{
    return m_proxy;
}

void LookAheadTransferControl::setProxy(const QString& proxy)
{
    m_proxy = proxy;
    m_scheduler.setProxy(proxy);
}

int LookAheadTransferControl::requestTimeout() const
{
    return m_requestTimeout;
}

void LookAheadTransferControl::setRequestTimeout(int seconds)
{
    m_requestTimeout = seconds;
    m_scheduler.setRequestTimeout(seconds);
}

int LookAheadTransferControl::remotePort() const
{
    return m_remotePort;
}

void LookAheadTransferControl::setRemotePort(int port)
{
    m_remotePort = port;
    m_scheduler.firstControl().setRemotePort(port);
}

void LookAheadTransferControl::setRedirectLimit(int most)
{
    m_redirectLimit = most;
    m_scheduler.firstControl().setRedirectLimit(most);
}
