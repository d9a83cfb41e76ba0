#include "transfer/curltransfercontrol.h"

#include "address/authority.h"
#include "transfer/curlrequest.h"

#include <curl/curl.h>

#include <QList>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Above this many unread body bytes the transfer is paused, so a big file never piles up in memory.
constexpr qsizetype kPauseAbove = 4 * 1024 * 1024;
// libcurl's receive buffer: larger reads mean fewer calls, and fewer, larger writes to the file.
constexpr long kReceiveBuffer = 256 * 1024;

static_assert(CURL_ERROR_SIZE <= 256, "the error buffer is too small");

void ensureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

void CurlTransferControl::EasyDeleter::operator()(void* handle) const
{
    curl_easy_cleanup(handle);
}
void CurlTransferControl::ListDeleter::operator()(void* list) const
{
    curl_slist_free_all(static_cast<curl_slist*>(list));
}

namespace {

void* newMulti()
{
    ensureCurlInitialised();
    CURLM* multi = curl_multi_init();
    // One connection to a host: requests that share the pipe multiplex over it or wait their turn.
    if (multi)
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, 1L);
    return multi;
}

} // namespace

CurlPipe::CurlPipe()
    : m_multi(newMulti())
{
}

CurlPipe::~CurlPipe()
{
    curl_multi_cleanup(m_multi);
}

void CurlPipe::closeConnections()
{
    if (m_attached > 0)
        return;
    // The connection cache belongs to the multi handle; a new one keeps nothing open.
    curl_multi_cleanup(m_multi);
    m_multi = newMulti();
}

bool CurlPipe::perform()
{
    int running = 0;
    if (!m_multi || curl_multi_perform(m_multi, &running) != CURLM_OK)
        return false;
    // Collected first: an ended request may start its next hop on the same handle.
    std::vector<std::pair<CURL*, CURLcode>> ended;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &queued))
        if (message->msg == CURLMSG_DONE)
            ended.emplace_back(message->easy_handle, message->data.result);
    for (const auto& [easy, result] : ended) {
        CurlTransferControl* control = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, &control);
        if (control && control->m_attached && control->m_easy.get() == easy)
            control->ended(result);
    }
    return true;
}

CurlTransferControl::CurlTransferControl(std::shared_ptr<CurlPipe> pipe)
    : m_pipe(pipe ? std::move(pipe) : std::make_shared<CurlPipe>())
{
    ensureCurlInitialised();
    setUpHandle();
}

void CurlTransferControl::setUpHandle()
{
    m_easy.reset(curl_easy_init());
    CURL* easy = m_easy.get();
    if (!easy)
        return;
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorBuffer.data());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransferControl::onHeaderLine);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransferControl::onBodyBytes);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, m_receiveBuffer > 0 ? long(m_receiveBuffer) : kReceiveBuffer);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    // A proxy's answer to CONNECT is no part of the site's response.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &CurlTransferControl::onSending);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
}

CurlTransferControl::~CurlTransferControl()
{
    cancel();
}

void CurlTransferControl::setStateHandler(StateHandler handler)
{
    m_handler = std::move(handler);
}

void CurlTransferControl::execute(
    const QString& address, const QString& verb, const QByteArray& body, const QString& headerLines)
{
    cancel();
    m_url = address;
    m_headers.clear();
    m_finalHeaders = false;
    m_headersAnnounced = false;
    m_errorCode = 0;
    m_errorText.clear();
    m_redirects = 0;
    m_busy = true;
    m_hopVerb = verb.toUpper().toLatin1();
    m_hopBody = body;
    m_hopLines.clear();
    if (m_jar && m_easy) {
        if (!m_cookiesSynced || m_cookieVersion != m_jar->version())
            LoadCookies(m_easy.get(), m_jar->lines());
        m_cookieVersion = m_jar->version();
        // Until an answer sets a cookie: the handle then holds more than the jar until it is committed.
        m_cookiesSynced = true;
    }
    for (QString line : headerLines.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            m_hopLines.append(line);
    }
    startHop(address);
}

// Starts the request of the current hop: the first one, or the one that follows a redirect. It is
// sent now, or held until the pacer lets it go.
void CurlTransferControl::startHop(const QString& address)
{
    m_hopUrl = address;
    m_pendingBlock.clear();
    m_pendingComplete = false;
    m_followPending = false;
    m_resendHeld = false;
    m_hopHeld = m_pacer && m_pacer->waitFor(HostPortOf(address)) > 0;
    if (!m_hopHeld)
        sendHop();
}

qint64 CurlTransferControl::hopDelay() const
{
    return m_hopHeld ? m_pacer->waitFor(HostPortOf(m_hopUrl)) : -1;
}

void CurlTransferControl::sendHop()
{
    const QString& address = m_hopUrl;
    m_hopHeld = false;
    m_hopSends = 0;
    m_errorBuffer[0] = '\0';
    m_doneCode = CURLE_OK;
    CURL* easy = m_easy.get();
    if (!easy || !m_pipe->m_multi) {
        // Reported from pump(), like every other outcome.
        m_done = true;
        m_doneCode = CURLE_FAILED_INIT;
        return;
    }
    if (m_pacer) {
        m_pacer->started(HostPortOf(address));
        m_hopSentAt = m_pacer->now();
    }

    curl_easy_setopt(easy, CURLOPT_URL, address.toUtf8().constData());
    // A libcurl without HTTP/2 refuses the version and speaks HTTP/1.1.
    if (!m_http2 || curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS)) != CURLE_OK)
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    // Waits for a connection being opened to the host to tell whether it multiplexes, rather than
    // opening a second one.
    curl_easy_setopt(easy, CURLOPT_PIPEWAIT, m_http2 ? 1L : 0L);
    if (m_hopVerb == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        const bool plain = m_hopVerb.isEmpty() || m_hopVerb == "GET" || (m_hopVerb == "POST" && !m_hopBody.isEmpty());
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, plain ? nullptr : m_hopVerb.constData());
        if (!m_hopBody.isEmpty()) {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_hopBody.size()));
            curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, m_hopBody.constData());
        }
    }

    curl_slist* list = HeaderListOf(m_hopLines);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    m_headerList.reset(list);
    ApplyAccess(easy, m_accessType, m_proxy);
    ApplyTrustStore(easy);
    ApplyTimeout(easy, m_requestTimeout);

    if (curl_multi_add_handle(m_pipe->m_multi, easy) != CURLM_OK) {
        m_done = true;
        m_doneCode = CURLE_FAILED_INIT;
        return;
    }
    m_attached = true;
    ++m_pipe->m_attached;
}

// Redirects are followed here rather than by libcurl, which would move a given Host line to the front
// and could not correct it for another host.
bool CurlTransferControl::followRedirect()
{
    char* target = nullptr;
    curl_easy_getinfo(m_easy.get(), CURLINFO_REDIRECT_URL, &target);
    if (!target)
        return false;
    const QString address = QString::fromUtf8(target);
    m_hopLines = RedirectedLines(m_hopLines, m_hopUrl, address);
    const int status = StatusCodeOf(m_headers);
    if ((status == 303 && m_hopVerb != "HEAD") || ((status == 301 || status == 302) && m_hopVerb == "POST")) {
        m_hopVerb = "GET";
        m_hopBody.clear();
    }
    ++m_redirects;
    detach();
    startHop(address);
    return true;
}

void CurlTransferControl::setReceiveBuffer(int bytes)
{
    m_receiveBuffer = bytes;
    if (m_easy)
        curl_easy_setopt(m_easy.get(), CURLOPT_BUFFERSIZE, long(bytes));
}

void CurlTransferControl::setCookieJar(CookieJar* jar, bool commits)
{
    cancel();
    // A cookie engine once started cannot be stopped: a handle of its own keeps none.
    if (m_jar && !jar)
        setUpHandle();
    m_jar = jar;
    m_commitsCookies = commits;
    m_cookiesSynced = false;
}

std::optional<QList<QByteArray>> CurlTransferControl::cookiesNow() const
{
    if (!m_jar || !m_easy)
        return std::nullopt;
    return CookiesOf(m_easy.get());
}

void CurlTransferControl::commitCookies()
{
    if (!m_jar || !m_commitsCookies || !m_jar->keeping() || !m_easy)
        return;
    m_jar->commit(CookiesOf(m_easy.get()));
    m_cookieVersion = m_jar->version();
    m_cookiesSynced = true;
}

bool CurlTransferControl::busy() const
{
    return m_busy;
}

void CurlTransferControl::cancel()
{
    ++m_generation;
    detach();
    m_busy = false;
    m_done = false;
    m_hopHeld = false;
    m_resendHeld = false;
    m_newBytes = false;
    m_pendingBlock.clear();
    // Emptied, not freed: the next request fills the same memory.
    m_body.resize(0);
    m_handedOut.resize(0);
}

void CurlTransferControl::detach()
{
    if (!m_attached)
        return;
    if (m_paused) {
        // Let libcurl hand over what it holds back, so the handle starts the next request unpaused.
        m_discarding = true;
        curl_easy_pause(m_easy.get(), CURLPAUSE_CONT);
        m_discarding = false;
        m_paused = false;
    }
    curl_multi_remove_handle(m_pipe->m_multi, m_easy.get());
    m_attached = false;
    --m_pipe->m_attached;
}

bool CurlTransferControl::prepare()
{
    if (!m_busy)
        return false;
    if (m_hopHeld) {
        if (hopDelay() > 0)
            return false;
        sendHop();
    }
    if (m_done || !m_attached)
        return false;
    if (m_paused && m_body.isEmpty()) {
        m_paused = false;
        const CURLcode resumed = curl_easy_pause(m_easy.get(), CURLPAUSE_CONT);
        if (resumed != CURLE_OK) {
            m_done = true;
            m_doneCode = resumed;
            return false;
        }
    }
    return true;
}

void CurlTransferControl::ended(int result)
{
    if (result == CURLE_OK && m_followPending && followRedirect())
        return;
    if (m_resendHeld) {
        // Sent again once the interval has passed, as any other request to the host.
        detach();
        startHop(m_hopUrl);
        return;
    }
    m_done = true;
    m_doneCode = result;
}

void CurlTransferControl::pump(int maxWaitMs)
{
    if (!m_busy)
        return;
    if (m_hopHeld) {
        const qint64 delay = hopDelay();
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(delay, std::max(0, maxWaitMs))));
    }
    if (prepare()) {
        // Bytes handed over while resuming are delivered without waiting.
        if (!m_newBytes)
            curl_multi_poll(m_pipe->m_multi, nullptr, 0, std::max(0, maxWaitMs), nullptr);
        if (!m_pipe->perform()) {
            m_done = true;
            m_doneCode = CURLE_FAILED_INIT;
        }
    }
    deliver();
}

void CurlTransferControl::pumpTogether(const std::vector<CurlTransferControl*>& controls, int maxWaitMs,
    int wakeDescriptor, const std::function<void(bool)>& hold)
{
    fd_set readSet;
    fd_set writeSet;
    fd_set exceptSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&exceptSet);
    int maxFd = -1;
    long wait = std::max(0, maxWaitMs);
    bool busy = false;
    std::vector<CurlPipe*> pipes;
    for (CurlTransferControl* control : controls) {
        if (!control->m_busy)
            continue;
        busy = true;
        if (!control->prepare()) {
            // Held for the pacer, or something to hand over already.
            wait = std::min<long>(wait, control->m_hopHeld ? long(control->hopDelay()) : 0L);
            continue;
        }
        if (control->m_newBytes || control->m_paused)
            wait = 0;
        if (std::find(pipes.cbegin(), pipes.cend(), control->m_pipe.get()) == pipes.cend())
            pipes.push_back(control->m_pipe.get());
    }
    if (!busy)
        return;
    if (wakeDescriptor >= 0) {
        FD_SET(wakeDescriptor, &readSet);
        maxFd = std::max(maxFd, wakeDescriptor);
    }
    for (CurlPipe* pipe : pipes) {
        int fd = -1;
        curl_multi_fdset(pipe->m_multi, &readSet, &writeSet, &exceptSet, &fd);
        maxFd = std::max(maxFd, fd);
        long timeout = -1;
        curl_multi_timeout(pipe->m_multi, &timeout);
        if (timeout >= 0)
            wait = std::min(wait, timeout);
    }
    if (wait > 0) {
        if (maxFd >= 0) {
            timeval limit { wait / 1000, int((wait % 1000) * 1000) };
            select(maxFd + 1, &readSet, &writeSet, &exceptSet, &limit);
        } else {
            // libcurl has no socket to offer yet (a name being resolved): a short nap instead.
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        }
    }
    for (CurlPipe* pipe : pipes)
        pipe->perform();
    // A state handler may cancel or start requests of other controls; each is delivered as it then is.
    if (hold)
        hold(true);
    for (CurlTransferControl* control : controls)
        if (control->m_busy)
            control->deliver();
    if (hold)
        hold(false);
}

void CurlTransferControl::deliver()
{
    // A redirect whose target libcurl could not make out is the answer itself.
    if (m_done && m_doneCode == CURLE_OK && !m_headers.isEmpty())
        m_finalHeaders = true;
    const bool announceHeaders = m_finalHeaders && !m_headersAnnounced;
    if (announceHeaders || m_newBytes || (m_paused && !m_body.isEmpty())) {
        m_headersAnnounced = m_headersAnnounced || m_finalHeaders;
        m_newBytes = false;
        if (!raise(ResponseReceiving))
            return;
    }
    // The handler may have pumped again and delivered the end already.
    if (!m_done)
        return;
    const int code = m_doneCode;
    m_done = false;
    detach();
    m_busy = false;
    commitCookies();
    if (code == CURLE_OK) {
        raise(ResponseCompleted);
    } else {
        setError(code);
        raise(Error);
    }
}

bool CurlTransferControl::raise(int state)
{
    const unsigned generation = m_generation;
    if (m_handler) {
        // A copy, so the handler may replace itself.
        const StateHandler handler = m_handler;
        handler(state);
    }
    return generation == m_generation;
}

void CurlTransferControl::setError(int code)
{
    m_errorCode = code;
    m_errorText = m_errorBuffer[0] != '\0' ? QString::fromUtf8(m_errorBuffer.data())
                                           : QString::fromUtf8(curl_easy_strerror(CURLcode(code)));
}

std::size_t CurlTransferControl::onHeaderLine(char* data, std::size_t size, std::size_t count, void* self)
{
    static_cast<CurlTransferControl*>(self)->headerLine(QByteArray(data, qsizetype(size * count)));
    return size * count;
}

int CurlTransferControl::onSending(void* self, char* remoteIp, char* localIp, int remotePort, int localPort)
{
    Q_UNUSED(remoteIp);
    Q_UNUSED(localIp);
    Q_UNUSED(remotePort);
    Q_UNUSED(localPort);
    auto* control = static_cast<CurlTransferControl*>(self);
    // The first send of a hop was paced when it started; a second one is libcurl's own re-send.
    if (++control->m_hopSends < 2 || !control->m_pacer)
        return CURL_PREREQFUNC_OK;
    const QString host = HostPortOf(control->m_hopUrl);
    if (control->m_pacer->waitFor(host) > 0) {
        control->m_resendHeld = true;
        return CURL_PREREQFUNC_ABORT;
    }
    control->m_pacer->started(host);
    return CURL_PREREQFUNC_OK;
}

std::size_t CurlTransferControl::onBodyBytes(char* data, std::size_t size, std::size_t count, void* self)
{
    return static_cast<CurlTransferControl*>(self)->bodyBytes(data, size * count);
}

void CurlTransferControl::headerLine(const QByteArray& rawLine)
{
    QByteArray line = rawLine;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    // The cookie engine keeps what any answer sets; the handle then holds more than the jar.
    if (line.size() > 11 && qstrnicmp(line.constData(), "set-cookie:", 11) == 0)
        m_cookiesSynced = false;
    if (line.startsWith("HTTP/")) {
        // libcurl writes an HTTP/2 status line, which has no reason phrase, with a blank after the code.
        if (line.startsWith("HTTP/2 ") || line.startsWith("HTTP/3 "))
            line = line.trimmed();
        m_pendingBlock.clear();
        m_pendingComplete = false;
    } else if (m_pendingComplete || m_pendingBlock.isEmpty()) {
        return; // a chunked trailer, or a stray line before any status line
    }
    m_pendingBlock += line + "\r\n";
    if (!line.isEmpty())
        return;
    m_pendingComplete = true;
    const int status = StatusCodeOf(m_pendingBlock);
    if (status >= 100 && status < 200)
        return; // informational; the real response follows
    m_headers = m_pendingBlock;
    // Past the limit, a redirect is the final response, for the crawl to log.
    m_followPending = IsFollowedRedirect(m_headers) && m_redirects < m_redirectLimit;
    m_finalHeaders = !m_followPending;
}

std::size_t CurlTransferControl::bodyBytes(const char* data, std::size_t length)
{
    if (m_discarding || m_followPending)
        return length; // an abandoned request's, or a redirect's that is followed
    if (m_body.size() > (m_pauseAbove > 0 ? m_pauseAbove : kPauseAbove)) {
        m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    m_body.append(data, qsizetype(length));
    m_newBytes = true;
    m_finalHeaders = true;
    return length;
}

qint64 CurlTransferControl::expectedLength() const
{
    // The length a HEAD answer tells is of a body that does not come.
    curl_off_t length = -1;
    if (m_hopVerb == "HEAD" || curl_easy_getinfo(m_easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        return -1;
    return qint64(length);
}

QByteArrayView CurlTransferControl::nextBodyPiece()
{
    if (m_body.isEmpty())
        return {};
    m_handedOut.swap(m_body);
    m_body.resize(0);
    return m_handedOut;
}
