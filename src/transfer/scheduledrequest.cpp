#include "transfer/scheduledrequest.h"

#include "transfer/requestpacer.h"

ScheduledRequest::ScheduledRequest(
    const QString& a, const QString& v, const QString& l, qint64 t, bool p, quint64 o, MemoryBudget* shared)
    : address(a)
    , verb(v)
    , headerLines(l)
    , host(RequestPacer::hostOf(a))
    , origin(RequestPacer::originOf(a))
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
