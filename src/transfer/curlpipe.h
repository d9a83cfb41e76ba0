#pragma once
// One libcurl multi handle and the connections it keeps open, at most one to a host, and the wait
// on the sockets of several pipes at once. The controls that share a pipe multiplex their requests
// over its connection when it speaks HTTP/2 and otherwise take turns on it.
//   auto pipe = std::make_shared<CurlPipe>();
//   CurlTransferControl first(pipe), second(pipe);  // first.execute(...); second.execute(...);
//   CurlPipe::pumpTogether({ &first, &second }, 10); // sleeps on both, raises the states of both

#include <QString>

#include <functional>
#include <vector>

class CurlPipe {
public:
    // What the pipe asks of a transfer run over it (a libcurl transfer control).
    class Transfer {
    public:
        struct Wait {
            bool busy = false; // a request is in progress
            bool onNetwork = false; // it waits on the pipe's sockets
            long limitMs = -1; // the longest the wait may last for it; -1: as long as asked
        };
        // Gets the transfer ready to wait: sends what may be sent, resumes what may be resumed.
        virtual Wait prepareWait() = 0;
        // libcurl ended the transfer of easy with result (a libcurl code).
        virtual void ended(void* easy, int result) = 0;
        // Raises what the transfer brought, as its own pump would.
        virtual void raiseStates() = 0;
        virtual CurlPipe& pipe() const = 0;

    protected:
        ~Transfer() = default;
    };

    CurlPipe();
    ~CurlPipe();
    CurlPipe(const CurlPipe&) = delete;
    CurlPipe& operator=(const CurlPipe&) = delete;

    // Closes the connections kept open; only while no request is attached.
    void closeConnections();
    // A request to destination (an origin, or the proxy that carries it) is about to be attached:
    // the connections kept open to another one are closed first, while nothing is attached, so that
    // the pipe holds one connection, not one to every host a crawl has met.
    void useFor(const QString& destination);

    // Adds an easy handle's transfer to the pipe, or takes it off; false when it could not be added.
    bool attach(void* easy);
    void detach(void* easy);
    bool valid() const { return m_multi != nullptr; }
    // Waits at most maxWaitMs for activity on the pipe's sockets.
    void poll(int maxWaitMs);
    // Advances every transfer attached and tells those that ended (an easy handle's CURLOPT_PRIVATE
    // is its Transfer); false when libcurl failed as a whole.
    bool perform();

    // For requests run side by side: waits at most maxWaitMs for network activity on any of the
    // controls, sleeping on all their sockets at once, then pumps each of them without waiting.
    // The wait also ends once wakeDescriptor (when not -1) is readable. hold(true) is called before
    // the states are raised and hold(false) after, so that the network thread takes the lock over
    // its state handlers' data just then.
    static void pumpTogether(const std::vector<Transfer*>& transfers, int maxWaitMs, int wakeDescriptor = -1,
        const std::function<void(bool)>& hold = {});

private:
    void* m_multi = nullptr; // kept as void* so that curl.h stays out of this header
    int m_attached = 0;
    QString m_destination; // what the connections kept open lead to
};
