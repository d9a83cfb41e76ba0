#include "transfer/curlpipe.h"

#include "transfer/curlrequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace {

void* newMulti()
{
    EnsureCurlInitialised();
    CURLM* multi = curl_multi_init();
    // One connection to a host: requests that share the pipe multiplex over it or wait their turn.
    // One kept once a request ends: a redirect that went elsewhere leaves no second one open.
    if (multi) {
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, 1L);
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 1L);
    }
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
    m_destination.clear();
}

void CurlPipe::useFor(const QString& destination)
{
    if (destination == m_destination)
        return;
    if (!m_destination.isEmpty())
        closeConnections();
    if (m_attached == 0)
        m_destination = destination;
}

bool CurlPipe::attach(void* easy)
{
    if (!m_multi || curl_multi_add_handle(m_multi, easy) != CURLM_OK)
        return false;
    ++m_attached;
    return true;
}

void CurlPipe::detach(void* easy)
{
    curl_multi_remove_handle(m_multi, easy);
    --m_attached;
}

void CurlPipe::poll(int maxWaitMs)
{
    curl_multi_poll(m_multi, nullptr, 0, std::max(0, maxWaitMs), nullptr);
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
        Transfer* transfer = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, &transfer);
        if (transfer)
            transfer->ended(easy, result);
    }
    return true;
}

void CurlPipe::pumpTogether(
    const std::vector<Transfer*>& transfers, int maxWaitMs, int wakeDescriptor, const std::function<void(bool)>& hold)
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
    for (Transfer* transfer : transfers) {
        const Transfer::Wait ready = transfer->prepareWait();
        busy = busy || ready.busy;
        if (ready.limitMs >= 0)
            wait = std::min(wait, ready.limitMs);
        if (ready.onNetwork && std::find(pipes.cbegin(), pipes.cend(), &transfer->pipe()) == pipes.cend())
            pipes.push_back(&transfer->pipe());
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
    for (Transfer* transfer : transfers)
        transfer->raiseStates();
    if (hold)
        hold(false);
}
