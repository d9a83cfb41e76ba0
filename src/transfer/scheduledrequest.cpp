#include "transfer/scheduledrequest.h"

#include "address/authority.h"

ScheduledRequest::ScheduledRequest(
    const QString& a, const QString& v, const QString& l, qint64 t, bool p, quint64 o, MemoryBudget* shared)
    : address(a)
    , verb(v)
    , headerLines(l)
    , host(HostPortOf(a))
    , origin(OriginOf(a))
    , tag(t)
    , predicted(p)
    , order(o)
    , finalUrl(a)
    , body(MemoryLimit, shared)
{
}

void ScheduledRequest::reset()
{
    started = false;
    finished = false;
    headersKnown = false;
    fresh = false;
    headers.clear();
    body.clear();
    errorCode = 0;
    errorText.clear();
    finalUrl = address;
    cookies.reset();
}
