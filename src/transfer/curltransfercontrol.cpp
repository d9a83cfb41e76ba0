#include "transfer/curltransfercontrol.h"

#include "transfer/curlrequest.h"

#include <curl/curl.h>

#include <QStringList>
#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Above this many unread body bytes the transfer is paused, so a big file never piles up in memory.
constexpr qsizetype kPauseAbove = 4 * 1024 * 1024;
// libcurl's receive buffer: larger reads mean fewer calls, and fewer, larger writes to the file.
constexpr long kReceiveBuffer = 256 * 1024;

static_assert(CURL_ERROR_SIZE <= 256, "the error buffer is too small");

} // namespace

void CurlTransferControl::EasyDeleter::operator()(void* handle) const
{
    curl_easy_cleanup(handle);
}
void CurlTransferControl::ListDeleter::operator()(void* list) const
{
    curl_slist_free_all(static_cast<curl_slist*>(list));
}

CurlTransferControl::CurlTransferControl(std::shared_ptr<CurlPipe> pipe)
    : m_pipe(pipe ? std::move(pipe) : std::make_shared<CurlPipe>())
{
    EnsureCurlInitialised();
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
    curl_easy_setopt(easy, CURLOPT_PRIVATE, static_cast<CurlPipe::Transfer*>(this));
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
    setUrl(address);
    m_answer.startHop(true);
    m_finalHeaders = false;
    m_headersAnnounced = false;
    m_errorCode = 0;
    m_errorText.clear();
    m_redirects = 0;
    m_busy = true;
    m_hopVerb = verb.toUpper().toLatin1();
    m_hopBody = body;
    m_hopLines.clear();
    m_cookies.load(m_easy.get());
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
    m_answer.startHop(false);
    m_followPending = false;
    if (m_pacing.start(address))
        sendHop();
}

void CurlTransferControl::sendHop()
{
    const QString& address = m_hopUrl;
    m_errorBuffer[0] = '\0';
    m_doneCode = CURLE_OK;
    CURL* easy = m_easy.get();
    if (!easy || !m_pipe->valid()) {
        // Reported from pump(), like every other outcome.
        m_done = true;
        m_doneCode = CURLE_FAILED_INIT;
        return;
    }
    m_pacing.sent();

    const Settings& set = settings();
    curl_easy_setopt(easy, CURLOPT_URL, address.toUtf8().constData());
    ApplyVerb(easy, m_hopVerb, m_hopBody, set.http2);
    curl_slist* list = HeaderListOf(m_hopLines);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    m_headerList.reset(list);
    ApplyAccess(easy, set, address);
    ApplyTrustStore(easy);
    ApplyTimeout(easy, set.requestTimeout);

    m_pipe->useFor(ConnectionDestinationOf(set, address));
    if (!m_pipe->attach(easy)) {
        m_done = true;
        m_doneCode = CURLE_FAILED_INIT;
        return;
    }
    m_attached = true;
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
    const int status = StatusCodeOf(m_answer.headers());
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
    if (m_cookies.jar() && !jar)
        setUpHandle();
    m_cookies.setJar(jar, commits);
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
    m_pacing.clear();
    m_newBytes = false;
    m_answer.startHop(false);
    m_answer.clearBody();
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
    m_pipe->detach(m_easy.get());
    m_attached = false;
}

bool CurlTransferControl::prepare()
{
    if (!m_busy)
        return false;
    if (m_pacing.held()) {
        if (m_pacing.delay() > 0)
            return false;
        sendHop();
    }
    if (m_done || !m_attached)
        return false;
    if (m_paused && m_answer.waiting() == 0) {
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

CurlPipe::Transfer::Wait CurlTransferControl::prepareWait()
{
    Wait wait;
    wait.busy = m_busy;
    if (!m_busy)
        return wait;
    if (!prepare()) {
        // Held for the pacer, or something to hand over already.
        wait.limitMs = m_pacing.held() ? long(m_pacing.delay()) : 0L;
        return wait;
    }
    wait.onNetwork = true;
    if (m_newBytes || m_paused)
        wait.limitMs = 0;
    return wait;
}

void CurlTransferControl::raiseStates()
{
    if (m_busy)
        deliver();
}

void CurlTransferControl::ended(void* easy, int result)
{
    if (!m_attached || m_easy.get() != easy)
        return;
    if (result == CURLE_OK && m_followPending && followRedirect())
        return;
    if (m_pacing.resendHeld()) {
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
    if (m_pacing.held()) {
        const qint64 delay = m_pacing.delay();
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(delay, std::max(0, maxWaitMs))));
    }
    if (prepare()) {
        // Bytes handed over while resuming are delivered without waiting.
        if (!m_newBytes)
            m_pipe->poll(maxWaitMs);
        if (!m_pipe->perform()) {
            m_done = true;
            m_doneCode = CURLE_FAILED_INIT;
        }
    }
    deliver();
}

void CurlTransferControl::deliver()
{
    // A redirect whose target libcurl could not make out is the answer itself.
    if (m_done && m_doneCode == CURLE_OK && !m_answer.headers().isEmpty())
        m_finalHeaders = true;
    const bool announceHeaders = m_finalHeaders && !m_headersAnnounced;
    if (announceHeaders || m_newBytes || (m_paused && m_answer.waiting() > 0)) {
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
    m_cookies.commit(m_easy.get());
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
    // The text a user reads in the failure report: libcurl's own is English, and some of its codes
    // stand for more than one fault, which its text tells apart.
    const QByteArrayView detail(m_errorBuffer.data());
    if (code == 100 || detail.startsWith("Too large response headers") || detail.startsWith("Avoided giant realloc"))
        m_errorText = u"応答のヘッダが大きすぎます。"_s;
    else if (detail.startsWith("Received HTTP/0.9"))
        m_errorText = u"サーバの応答がHTTPの応答ではありません。"_s;
    else
        m_errorText = errorReason(code);
}

std::size_t CurlTransferControl::onHeaderLine(char* data, std::size_t size, std::size_t count, void* self)
{
    static_cast<CurlTransferControl*>(self)->headerLine(QByteArrayView(data, qsizetype(size * count)));
    return size * count;
}

int CurlTransferControl::onSending(void* self, char*, char*, int, int)
{
    return static_cast<CurlTransferControl*>(self)->m_pacing.sending() ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

std::size_t CurlTransferControl::onBodyBytes(char* data, std::size_t size, std::size_t count, void* self)
{
    return static_cast<CurlTransferControl*>(self)->bodyBytes(data, size * count);
}

void CurlTransferControl::headerLine(QByteArrayView line)
{
    m_cookies.headerLine(line);
    if (!m_answer.headerLine(line))
        return;
    // Past the limit, a redirect is the final response, for the crawl to log.
    m_followPending = IsFollowedRedirect(m_answer.headers()) && m_redirects < settings().redirectLimit;
    m_finalHeaders = !m_followPending;
}

std::size_t CurlTransferControl::bodyBytes(const char* data, std::size_t length)
{
    if (m_discarding || m_followPending)
        return length; // an abandoned request's, or a redirect's that is followed
    if (m_answer.waiting() > (m_pauseAbove > 0 ? m_pauseAbove : kPauseAbove)) {
        m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    m_answer.append(data, qsizetype(length));
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
    return m_answer.take();
}
