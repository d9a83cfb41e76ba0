#include "transfer/connectionpool.h"

#include "transfer/transfercontrol.h"

#include <algorithm>

void ConnectionPool::configure(int connections)
{
    for (int i = 0; i < size(); ++i)
        close(i);
    const int count = std::clamp(connections, 1, TransferControl::MostConnections);
    m_connections.assign(std::size_t(count), Connection());
    m_multiplexing = false;
    resized(count);
}

int ConnectionPool::runningCount(int connection) const
{
    const auto& onSlots = m_connections[std::size_t(connection)].onSlots;
    return int(
        std::count_if(onSlots.cbegin(), onSlots.cend(), [](const ScheduledRequest* running) { return running; }));
}

int ConnectionPool::openTo(const QString& origin, int except) const
{
    int open = 0;
    for (int i = 0; i < size(); ++i)
        open += i != except && m_connections[std::size_t(i)].origin == origin;
    return open;
}

int ConnectionPool::answeringTo(const QString& origin, int except) const
{
    int answering = 0;
    for (int i = 0; i < size(); ++i)
        answering += i != except && m_connections[std::size_t(i)].origin == origin && answered(i);
    return answering;
}

int ConnectionPool::freeSlot(int connection, bool anotherStream) const
{
    const Connection& c = m_connections[std::size_t(connection)];
    const std::size_t usable = c.multiplexed && anotherStream ? std::size_t(StreamsPerConnection) : 1;
    for (std::size_t i = 0; i < usable; ++i)
        if (i >= c.onSlots.size() || !c.onSlots[i])
            return int(i);
    return -1;
}

bool ConnectionPool::mayAddStream() const
{
    int running = 0;
    for (int c = 0; c < size(); ++c)
        running += runningCount(c);
    return running < MostStreams;
}

bool ConnectionPool::running() const
{
    for (int i = 0; i < size(); ++i)
        if (!idle(i))
            return true;
    return false;
}

ScheduledRequest* ConnectionPool::runningOn(int connection, int slot) const
{
    const auto& onSlots = m_connections[std::size_t(connection)].onSlots;
    return std::size_t(slot) < onSlots.size() ? onSlots[std::size_t(slot)] : nullptr;
}

void ConnectionPool::noteAnswer(int connection, bool http2)
{
    Connection& c = m_connections[std::size_t(connection)];
    c.answered = true;
    if (http2 && !c.multiplexed) {
        c.multiplexed = true;
        m_multiplexing = true;
    }
}

void ConnectionPool::startOn(int connection, int slot, ScheduledRequest& request)
{
    Connection& c = m_connections[std::size_t(connection)];
    if (c.origin != request.origin) {
        // Each connection is kept open to the origin it last served only.
        close(connection);
        c.origin = request.origin;
    }
    if (c.onSlots.size() <= std::size_t(slot))
        c.onSlots.resize(std::size_t(slot) + 1, nullptr);
    c.onSlots[std::size_t(slot)] = &request;
    request.connection = connection;
    request.slot = slot;
    startTransfer(connection, slot, request);
}

void ConnectionPool::stop(int connection, int slot)
{
    ScheduledRequest* request = runningOn(connection, slot);
    if (!request)
        return;
    // libcurl closes an HTTP/1.1 connection unless the answer was complete (an HTTP/2 one only
    // drops the stream); either way it is counted as open until it is closed here or used again.
    stopTransfer(connection, slot);
    finished(connection, slot);
}

void ConnectionPool::finished(int connection, int slot)
{
    ScheduledRequest*& running = m_connections[std::size_t(connection)].onSlots[std::size_t(slot)];
    if (!running)
        return;
    running->connection = -1;
    running->slot = -1;
    running = nullptr;
}

void ConnectionPool::close(int connection)
{
    Connection& c = m_connections[std::size_t(connection)];
    for (int slot = 0; slot < int(c.onSlots.size()); ++slot)
        stop(connection, slot);
    closeConnection(connection);
    c.origin.clear();
    c.answered = false;
    c.multiplexed = false;
}
