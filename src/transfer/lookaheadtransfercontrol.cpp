#include "transfer/lookaheadtransfercontrol.h"

#include "address/authority.h"
#include "transfer/curlrequest.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// The longest the network thread sleeps on the sockets at a time, and where no descriptor can wake
// it, the step it waits in so that new requests start soon.
constexpr int LongestWaitMs = 200;
constexpr int WaitStepMs = 2;

} // namespace

LookAheadTransferControl::LookAheadTransferControl() = default;

LookAheadTransferControl::~LookAheadTransferControl()
{
    stopWorker();
    m_handler = {};
    m_scheduler.setDirectHandler({});
    cancel();
}

std::unique_lock<std::recursive_mutex> LookAheadTransferControl::lock() const
{
    return std::unique_lock(m_lock);
}

void LookAheadTransferControl::reconfigure(int connections, int interval)
{
    stopWorker();
    const auto guard = lock();
    cancel();
    m_scheduler.configure(connections, interval);
    m_scheduler.setDirectHandler(m_handler);
    // One connection is the plain control, which keeps these itself.
    CurlTransferControl& first = m_scheduler.firstControl();
    first.setUrl(m_url);
    first.setProtocol(m_protocol);
    first.setRemotePort(m_remotePort);
    first.setRedirectLimit(m_redirectLimit);
    startWorker();
}

void LookAheadTransferControl::startWorker()
{
    if (direct() || m_worker.joinable())
        return;
    m_stopping = false;
    m_scheduler.setDeferStops(true);
    m_worker = std::thread([this] { work(); });
}

void LookAheadTransferControl::stopWorker()
{
    if (!m_worker.joinable())
        return;
    {
        const auto guard = lock();
        m_stopping = true;
        wake();
    }
    m_worker.join();
    const auto guard = lock();
    m_scheduler.setDeferStops(false);
    m_scheduler.settleDrops();
}

template <typename Change> void LookAheadTransferControl::whileStopped(Change change)
{
    const bool running = m_worker.joinable();
    stopWorker();
    {
        const auto guard = lock();
        change();
    }
    if (running)
        startWorker();
}

void LookAheadTransferControl::wake()
{
    if (!m_worker.joinable())
        return;
    if (m_workerWaiting && !m_signalled) {
        m_signalled = true;
        m_wakeup.signal();
    }
    m_work.notify_one();
}

// The network thread: starts what may start and advances what runs, letting the crawl in while it
// sleeps on the sockets, and tells the crawl when something arrived.
void LookAheadTransferControl::work()
{
    auto held = lock();
    const auto hold = [this, &held](bool now) {
        if (!now) {
            m_workerWaiting = true;
            held.unlock();
            return;
        }
        held.lock();
        m_workerWaiting = false;
        if (m_signalled) {
            m_wakeup.clear();
            m_signalled = false;
        }
    };
    while (!m_stopping) {
        m_scheduler.settleDrops();
        m_scheduler.startWhatMay();
        m_predictedSince = false;
        if (!m_scheduler.running()) {
            const qint64 until = m_scheduler.blockedUntil();
            m_workerIdle = true;
            if (until < 0)
                m_work.wait(held);
            else
                m_work.wait_for(
                    held, std::chrono::milliseconds(std::clamp<qint64>(until - m_scheduler.now(), 1, LongestWaitMs)));
            m_workerIdle = false;
            continue;
        }
        const int wakeDescriptor = m_wakeup.descriptor();
        qint64 wait = wakeDescriptor >= 0 ? LongestWaitMs : WaitStepMs;
        // A request held back by a wait starts when the wait is over, whatever the sockets do.
        if (m_scheduler.blockedUntil() >= 0)
            wait = std::clamp<qint64>(m_scheduler.blockedUntil() - m_scheduler.now(), 0, wait);
        m_scheduler.pumpConnections(int(wait), wakeDescriptor, hold);
        m_scheduler.settleDrops();
        m_scheduler.startWhatMay();
        if (hasNews())
            m_news.notify_all();
    }
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
    const auto guard = lock();
    m_scheduler.setHostInterval(HostPortOf(address), milliseconds);
}

void LookAheadTransferControl::holdHost(const QString& address, qint64 milliseconds)
{
    const auto guard = lock();
    const QString host = HostPortOf(address);
    m_scheduler.holdHost(host, milliseconds);
    // Answers fetched ahead that asked to wait too are asked again when executed, after the hold.
    m_scheduler.removePredictedIf([&host](const ScheduledRequest& request) {
        const int status = request.headersKnown ? StatusCodeOf(request.headers) : 0;
        return request.host == host && (status == 429 || status == 503);
    });
    wake();
}

void LookAheadTransferControl::forgetHosts()
{
    const auto guard = lock();
    m_scheduler.forgetHosts();
}

void LookAheadTransferControl::setCookies(const QByteArray& text, bool keep)
{
    whileStopped([&] {
        cancel();
        m_scheduler.removeAllPredicted();
        m_jar.setText(text, keep);
        m_cookies = keep || !m_jar.lines().isEmpty();
        m_scheduler.setCookieJar(m_cookies ? &m_jar : nullptr);
    });
}

int LookAheadTransferControl::connections() const
{
    // Unlocked: asked for every page and record, and changed only while the network thread is
    // stopped (reconfigure).
    return m_scheduler.connections();
}

void LookAheadTransferControl::setStateHandler(StateHandler handler)
{
    const auto guard = lock();
    m_handler = std::move(handler);
    m_scheduler.setDirectHandler(m_handler);
}

void LookAheadTransferControl::execute(
    const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines)
{
    const auto guard = lock();
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
    // One fetched ahead is the network thread's already; it tells the crawl when it has news.
    if (!found->started)
        wake();
}

bool LookAheadTransferControl::busy() const
{
    const auto guard = lock();
    return direct() ? m_scheduler.firstControl().busy() : m_busy;
}

void LookAheadTransferControl::cancel()
{
    const auto guard = lock();
    if (direct()) {
        m_scheduler.firstControl().cancel();
        return;
    }
    ++m_generation;
    m_busy = false;
    if (!m_current)
        return;
    // Only a request still running leaves the network thread something to do: to stop it.
    const bool running = m_current->started && !m_current->finished;
    m_scheduler.remove(*std::exchange(m_current, nullptr));
    if (running)
        wake();
}

void LookAheadTransferControl::predict(
    const QString& address, const QString& verb, const QString& headerLines, qint64 tag)
{
    const auto guard = lock();
    if (m_scheduler.connections() <= 1 || m_scheduler.find(address, verb, headerLines))
        return;
    m_scheduler.add(address, verb, headerLines, tag, true);
    m_predictedSince = true;
    // A network thread busy with other requests starts it at its next turn, or when the crawl next
    // executes or waits: a page's predictions come in a burst, and waking it for each would only
    // pass the lock to and fro.
    if (m_workerIdle)
        m_work.notify_one();
}

bool LookAheadTransferControl::answerFetchedAhead(const QString& address, const QString& verb,
    const QString& headerLines, QByteArray& headers, QString& finalUrl, QByteArray& body) const
{
    const auto guard = lock();
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
    const auto guard = lock();
    if (m_scheduler.removePredicted(tag))
        wake(); // to stop them
}

void LookAheadTransferControl::dropAllPredictions()
{
    const auto guard = lock();
    m_scheduler.removeAllPredicted();
    wake();
}

int LookAheadTransferControl::pendingPredictions() const
{
    const auto guard = lock();
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
    auto held = lock();
    if (direct()) {
        m_scheduler.firstControl().pump(maxWaitMs);
        return;
    }
    // What was predicted since the network thread last looked may start now.
    if (m_predictedSince)
        wake();
    // Only a caller waiting for its request sleeps here, until the network thread has news for it.
    if (m_busy && !hasNews() && maxWaitMs > 0) {
        m_news.wait_for(held, std::chrono::milliseconds(maxWaitMs), [this] { return hasNews() || !m_busy; });
    }
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
        // The network goes on while the crawl deals with the state.
        m_lock.unlock();
        handler(state);
        m_lock.lock();
    }
    return generation == m_generation;
}

QByteArrayView LookAheadTransferControl::nextBodyPiece()
{
    const auto guard = lock();
    if (direct())
        return m_scheduler.firstControl().nextBodyPiece();
    m_handedOut = m_current ? m_current->body.take() : QByteArray();
    return m_handedOut;
}

QByteArray LookAheadTransferControl::responseHeaders() const
{
    const auto guard = lock();
    return direct() ? m_scheduler.firstControl().responseHeaders() : m_headers;
}

int LookAheadTransferControl::lastErrorCode() const
{
    const auto guard = lock();
    return direct() ? m_scheduler.firstControl().lastErrorCode() : m_errorCode;
}

QString LookAheadTransferControl::lastErrorText() const
{
    const auto guard = lock();
    return direct() ? m_scheduler.firstControl().lastErrorText() : m_errorText;
}

QString LookAheadTransferControl::url() const
{
    const auto guard = lock();
    return direct() ? m_scheduler.firstControl().url() : m_url;
}

QString LookAheadTransferControl::finalUrl() const
{
    const auto guard = lock();
    return direct() ? m_scheduler.firstControl().finalUrl() : m_finalUrl;
}

void LookAheadTransferControl::setUrl(const QString& address)
{
    const auto guard = lock();
    m_url = address;
    if (direct())
        m_scheduler.firstControl().setUrl(address);
}

int LookAheadTransferControl::protocol() const
{
    return m_protocol;
}

void LookAheadTransferControl::setProtocol(int protocol)
{
    const auto guard = lock();
    m_protocol = protocol;
    if (direct())
        m_scheduler.firstControl().setProtocol(protocol);
}

int LookAheadTransferControl::accessType() const
{
    return m_accessType;
}

void LookAheadTransferControl::setHttp2(bool on)
{
    whileStopped([&] { m_scheduler.setHttp2(on); });
}

void LookAheadTransferControl::setAccessType(int accessType)
{
    whileStopped([&] {
        m_accessType = accessType;
        m_scheduler.setAccessType(accessType);
    });
}

QString LookAheadTransferControl::proxy() const
{
    return m_proxy;
}

void LookAheadTransferControl::setProxy(const QString& proxy)
{
    whileStopped([&] {
        m_proxy = proxy;
        m_scheduler.setProxy(proxy);
    });
}

int LookAheadTransferControl::requestTimeout() const
{
    return m_requestTimeout;
}

void LookAheadTransferControl::setRequestTimeout(int seconds)
{
    whileStopped([&] {
        m_requestTimeout = seconds;
        m_scheduler.setRequestTimeout(seconds);
    });
}

int LookAheadTransferControl::remotePort() const
{
    return m_remotePort;
}

void LookAheadTransferControl::setRemotePort(int port)
{
    const auto guard = lock();
    m_remotePort = port;
    if (direct())
        m_scheduler.firstControl().setRemotePort(port);
}

void LookAheadTransferControl::setRedirectLimit(int most)
{
    const auto guard = lock();
    m_redirectLimit = most;
    if (direct())
        m_scheduler.firstControl().setRedirectLimit(most);
}
