#pragma once
// The connection pool on libcurl: each connection is a pipe (a multi handle keeping at most one
// connection open to a host), so with N of them no host ever has more than N from us, and each slot
// is a libcurl transfer control over its connection's pipe. Every control is made with the pool's
// settings, pacer and cookie jar, and keeps what its answers set for the scheduler to hand on
// rather than committing it.
//   CurlConnectionPool pool(pacer);
//   pool.apply(settings);          // only while nothing runs
//   pool.configure(6);

#include "transfer/connectionpool.h"
#include "transfer/cookiejar.h"
#include "transfer/curltransfercontrol.h"
#include "transfer/requestpacer.h"

#include <memory>
#include <vector>

class CurlConnectionPool final : public ConnectionPool {
public:
    explicit CurlConnectionPool(RequestPacer& pacer);
    ~CurlConnectionPool() override;

    // The settings every control sends with (the redirect limit is each request's own), and the
    // crawl's cookies, nullptr for none at all; both only while nothing runs.
    void apply(const TransferControl::Settings& settings);
    void setCookieJar(CookieJar* jar);

    Transfer& transferOn(int connection, int slot) override;
    void pump(int waitMs, int wakeDescriptor = -1, const std::function<void(bool)>& hold = {}) override;

private:
    class Slot;
    struct Pipe {
        std::shared_ptr<CurlPipe> pipe;
        std::vector<std::unique_ptr<Slot>> transfers;
    };

    void resized(int connections) override;
    void startTransfer(int connection, int slot, const ScheduledRequest& request) override;
    void stopTransfer(int connection, int slot) override;
    void closeConnection(int connection) override;
    Slot& slotOf(int connection, int slot);

    RequestPacer& m_pacer;
    TransferControl::Settings m_settings;
    CookieJar* m_jar = nullptr;
    std::vector<Pipe> m_pipes;
};
