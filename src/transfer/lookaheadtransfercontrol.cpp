#include "transfer/lookaheadtransfercontrol.h"

#include "address/authority.h"
#include "transfer/curlrequest.h"

#include <algorithm>
#include <utility>

LookAheadTransferControl::LookAheadTransferControl()
{
    m_direct.setPacer(&m_pacer);
}

LookAheadTransferControl::~LookAheadTransferControl()
{
    m_thread.stop();
    m_handler = {};
    m_direct.setStateHandler({});
    cancel();
}

void LookAheadTransferControl::reconfigure(int connections, int interval)
{
    m_thread.stop();
    {
        const auto held = m_thread.lock();
        cancel();
        m_pacer.setInterval(interval);
        m_scheduler.configure(connections);
    }
    if (!direct())
        m_thread.start();
}

void LookAheadTransferControl::setConnections(int connections)
{
    if (std::clamp(connections, 1, MostConnections) != m_scheduler.connections())
        reconfigure(connections, m_pacer.interval());
}

void LookAheadTransferControl::setRequestInterval(int milliseconds)
{
    if (std::max(0, milliseconds) != m_pacer.interval())
        reconfigure(m_scheduler.connections(), milliseconds);
}

void LookAheadTransferControl::settingsChanged(const Settings& before)
{
    m_direct.setSettings(settings());
    if (settings().followRetryAfter != before.followRetryAfter) {
        const auto held = m_thread.lock();
        m_scheduler.setFollowRetryAfter(settings().followRetryAfter);
    }
    // The connections read theirs as they send: changed only while none runs.
    if (!settings().sameConnection(before))
        m_thread.whileStopped([this] { m_pool.apply(settings()); });
}

void LookAheadTransferControl::setHostInterval(const QString& address, int milliseconds)
{
    m_pacer.setHostInterval(HostPortOf(address), milliseconds);
}

void LookAheadTransferControl::holdHost(const QString& address, qint64 milliseconds)
{
    const auto held = m_thread.lock();
    const QString host = HostPortOf(address);
    m_pacer.hold(host, milliseconds);
    // Answers fetched ahead that asked to wait too are asked again when executed, after the hold.
    m_scheduler.removePredictedIf([&host](const ScheduledRequest& request) {
        const int status = request.headersKnown ? StatusCodeOf(request.headers) : 0;
        return request.host == host && (status == 429 || status == 503);
    });
    m_thread.wake();
}

qint64 LookAheadTransferControl::sendingWaitMs() const
{
    if (direct())
        return m_direct.sendingWaitMs();
    const auto held = m_thread.lock();
    if (!m_current || m_current->started)
        return 0;
    return std::max<qint64>({ m_current->notBefore - m_pacer.now(), m_pacer.waitFor(m_current->host), 0 });
}

void LookAheadTransferControl::setCookies(const QByteArray& text, bool keep)
{
    m_thread.whileStopped([&] {
        cancel();
        m_scheduler.removeAllPredicted();
        m_jar.setText(text, keep);
        m_cookies = keep || !m_jar.lines().isEmpty();
        CookieJar* jar = m_cookies ? &m_jar : nullptr;
        m_direct.setCookieJar(jar, true);
        m_pool.setCookieJar(jar);
        m_scheduler.setCookieJar(jar);
    });
}

void LookAheadTransferControl::setStateHandler(StateHandler handler)
{
    const auto held = m_thread.lock();
    m_handler = std::move(handler);
    m_direct.setStateHandler(m_handler);
}

void LookAheadTransferControl::execute(
    const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines)
{
    setUrl(address);
    if (direct()) {
        m_direct.execute(address, verb, body, headerLines);
        return;
    }
    const auto held = m_thread.lock();
    cancel();
    m_finalUrl = address;
    m_headers.clear();
    m_errorCode = 0;
    m_errorText.clear();
    m_busy = true;
    const int redirectLimit = settings().redirectLimit;
    // A request with a body, or with a limit of its own on redirects, is never predicted.
    ScheduledRequest* found
        = body.isEmpty() && redirectLimit == MostRedirects ? m_scheduler.find(address, verb, headerLines) : nullptr;
    // One fetched ahead with other cookies than the crawl's request carries now is another request.
    if (found && found->started && m_cookies && found->cookieVersion != m_jar.version()) {
        m_scheduler.remove(*found);
        found = nullptr;
    }
    ++m_executed;
    m_served += found != nullptr;
    if (!found) {
        found = &m_scheduler.add(address, verb, headerLines, 0, false);
        found->redirectLimit = redirectLimit;
    }
    found->executed = true;
    found->announced = false;
    found->fresh = !found->body.isEmpty();
    m_current = found;
    // One fetched ahead is the network thread's already; it tells the crawl when it has news.
    if (!found->started)
        m_thread.wake();
}

bool LookAheadTransferControl::busy() const
{
    if (direct())
        return m_direct.busy();
    const auto held = m_thread.lock();
    return m_busy;
}

void LookAheadTransferControl::cancel()
{
    if (direct()) {
        m_direct.cancel();
        return;
    }
    const auto held = m_thread.lock();
    ++m_generation;
    m_busy = false;
    if (!m_current)
        return;
    // Only a request still running leaves the network thread something to do: to stop it.
    const bool running = m_current->started && !m_current->finished;
    m_scheduler.remove(*std::exchange(m_current, nullptr));
    if (running)
        m_thread.wake();
}

void LookAheadTransferControl::predict(
    const QString& address, const QString& verb, const QString& headerLines, qint64 tag)
{
    const auto held = m_thread.lock();
    if (m_scheduler.connections() <= 1 || m_scheduler.find(address, verb, headerLines))
        return;
    m_scheduler.add(address, verb, headerLines, tag, true);
    m_thread.predicted();
}

bool LookAheadTransferControl::answerFetchedAhead(const QString& address, const QString& verb,
    const QString& headerLines, QByteArray& headers, QString& finalUrl, QByteArray& body) const
{
    const auto held = m_thread.lock();
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
    const auto held = m_thread.lock();
    if (m_scheduler.removePredicted(tag))
        m_thread.wake(); // to stop them
}

void LookAheadTransferControl::dropAllPredictions()
{
    const auto held = m_thread.lock();
    m_scheduler.removeAllPredicted();
    m_thread.wake();
}

int LookAheadTransferControl::pendingPredictions() const
{
    const auto held = m_thread.lock();
    return m_scheduler.predictedWaiting();
}

// Whether the executed request has something to tell.
bool LookAheadTransferControl::hasNews() const
{
    const ScheduledRequest* current = m_current;
    return current && current->started
        && ((current->headersKnown && !current->announced) || (current->announced && current->fresh)
            || current->finished);
}

void LookAheadTransferControl::pump(int maxWaitMs)
{
    if (direct()) {
        m_direct.pump(maxWaitMs);
        return;
    }
    auto held = m_thread.lock();
    // Only a caller waiting for its request sleeps here, until the network thread has news for it;
    // what was predicted since the network thread last looked starts before it does, and whenever
    // the caller gives the network time without news to take.
    const bool news = m_busy && hasNews();
    m_thread.wakeForPredictions(maxWaitMs > 0 && !news);
    if (m_busy && !news && maxWaitMs > 0)
        m_thread.waitForNews(held, maxWaitMs, [this] { return hasNews() || !m_busy; });
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
    const quint64 cookies = m_jar.version();
    if (m_cookies && current->cookies)
        m_jar.commit(*current->cookies);
    m_scheduler.answerTaken(cookies != m_jar.version());
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
        // The network goes on while the crawl deals with the state.
        m_thread.mutex().unlock();
        handler(state);
        m_thread.mutex().lock();
    }
    return generation == m_generation;
}

QByteArrayView LookAheadTransferControl::nextBodyPiece()
{
    if (direct())
        return m_direct.nextBodyPiece();
    const auto held = m_thread.lock();
    m_handedOut = m_current ? m_current->body.take() : QByteArray();
    return m_handedOut;
}

QByteArray LookAheadTransferControl::responseHeaders() const
{
    if (direct())
        return m_direct.responseHeaders();
    const auto held = m_thread.lock();
    return m_headers;
}

int LookAheadTransferControl::lastErrorCode() const
{
    if (direct())
        return m_direct.lastErrorCode();
    const auto held = m_thread.lock();
    return m_errorCode;
}

QString LookAheadTransferControl::lastErrorText() const
{
    if (direct())
        return m_direct.lastErrorText();
    const auto held = m_thread.lock();
    return m_errorText;
}

QString LookAheadTransferControl::finalUrl() const
{
    if (direct())
        return m_direct.finalUrl();
    const auto held = m_thread.lock();
    return m_finalUrl;
}
