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
    state.lastAnsweredStart = std::max(state.lastAnsweredStart, startedAt);
}

bool OriginBook::justAbandoned(const QString& origin, qint64 now)
{
    const qint64 at = of(origin).abandonedAt;
    return at >= 0 && now - at < AbandonMemoryMs;
}

bool OriginBook::stalled(const OriginState& origin, qint64 sentAt, qint64 now)
{
    return sentAt >= 0 && now - sentAt >= std::max(StallFloorMs, StallFactor * std::max<qint64>(0, origin.fastestMs));
}

qint64 OriginBook::mayGiveWayAt(const OriginState& origin, bool sent, qint64 startedAt, qint64 sentAt)
{
    if (!sent)
        return -1;
    if (origin.fastestMs < 0)
        return startedAt + SilentGiveWayMs;
    if (sentAt < 0 || origin.lastAnsweredStart <= startedAt)
        return NotYet;
    return sentAt + std::max(StallFloorMs, StallFactor * origin.fastestMs);
}

int OriginBook::limitAfterRefusal(int limit, int answered)
{
    return std::max(1, std::min(limit - 1, answered > 0 ? answered : limit - 1));
}
