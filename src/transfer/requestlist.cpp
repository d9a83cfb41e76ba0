#include "transfer/requestlist.h"

#include <algorithm>

ScheduledRequest* RequestList::find(const QString& address, const QString& verb, const QString& headerLines) const
{
    for (const auto& request : m_requests)
        if (request->matches(address, verb, headerLines))
            return request.get();
    return nullptr;
}

ScheduledRequest& RequestList::add(
    const QString& address, const QString& verb, const QString& headerLines, qint64 tag, bool predicted)
{
    m_requests.push_back(
        std::make_unique<ScheduledRequest>(address, verb, headerLines, tag, predicted, m_order++, &m_budget));
    return *m_requests.back();
}

std::unique_ptr<ScheduledRequest> RequestList::take(const ScheduledRequest* request)
{
    const auto it = std::find_if(m_requests.begin(), m_requests.end(),
        [request](const std::unique_ptr<ScheduledRequest>& listed) { return listed.get() == request; });
    if (it == m_requests.end())
        return {};
    std::unique_ptr<ScheduledRequest> taken = std::move(*it);
    m_requests.erase(it);
    return taken;
}

int RequestList::predictedWaiting() const
{
    return int(std::count_if(m_requests.cbegin(), m_requests.cend(),
        [](const std::unique_ptr<ScheduledRequest>& request) { return !request->executed; }));
}
