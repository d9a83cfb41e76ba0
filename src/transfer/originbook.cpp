#include "transfer/originbook.h"

#include <algorithm>

void OriginBook::reset(int connections)
{
    m_connections = connections;
    m_origins.clear();
}

OriginState& OriginBook::of(const QString& origin)
{
    auto found = m_origins.find(origin);
    if (found == m_origins.end()) {
        OriginState fresh;
        fresh.limit = m_connections;
        found = m_origins.insert(origin, fresh);
    }
    return *found;
}

void OriginBook::answered(const QString& origin, qint64 startedAt, qint64 now)
{
    OriginState& state = of(origin);
    const qint64 took = now - startedAt;
    state.fastestMs = state.fastestMs < 0 ? took : std::min(state.fastestMs, took);
    state.slowestMs = std::max(state.slowestMs, took);
    state.lastAnsweredStart = std::max(state.lastAnsweredStart, startedAt);
}

bool OriginBook::justAbandoned(const QString& origin, qint64 now)
{
    const qint64 at = of(origin).abandonedAt;
    return at >= 0 && now - at < AbandonMemoryMs;
}

namespace {

qint64 stallAfterMs(const OriginState& origin)
{
    const qint64 usual = std::max(OriginBook::StallFactor * std::max<qint64>(0, origin.fastestMs),
        OriginBook::StallSlowFactor * origin.slowestMs);
    return std::max(OriginBook::StallFloorMs, usual);
}

} // namespace

qint64 OriginBook::givesWayAt(const OriginState& origin, qint64 sentAt)
{
    return sentAt < 0 ? -1 : sentAt + std::max(GiveWayFloorMs, stallAfterMs(origin));
}

bool OriginBook::stalled(const OriginState& origin, qint64 sentAt, qint64 now)
{
    return sentAt >= 0 && now - sentAt >= stallAfterMs(origin);
}

int OriginBook::limitAfterRefusal(int limit, int answered)
{
    return std::max(1, std::min(limit - 1, answered > 0 ? answered : limit - 1));
}
