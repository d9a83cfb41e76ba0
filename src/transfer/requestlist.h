#pragma once
// The requests of the look-ahead: those the crawl said are coming and the one it executes, each
// owned here, in the order they were added, until it is forgotten. Every body waiting in them shares
// one memory budget beyond its own.
//   RequestList requests(budget);
//   ScheduledRequest& r = requests.add(u"http://h/b.gif"_s, u"HEAD"_s, lines, 7, true);
//   requests.find(u"http://h/b.gif"_s, u"HEAD"_s, lines);  // &r
//   requests.forget(&r);

#include "transfer/scheduledrequest.h"
#include "transfer/spooledbody.h"

#include <memory>
#include <vector>

class RequestList {
public:
    explicit RequestList(MemoryBudget& budget)
        : m_budget(budget)
    {
    }

    ScheduledRequest* find(const QString& address, const QString& verb, const QString& headerLines) const;
    ScheduledRequest& add(
        const QString& address, const QString& verb, const QString& headerLines, qint64 tag, bool predicted);
    // Hands the request over to the caller, no longer listed; null when it is not listed.
    std::unique_ptr<ScheduledRequest> take(const ScheduledRequest* request);
    void forget(const ScheduledRequest* request) { take(request); }
    void clear() { m_requests.clear(); }
    // The requests not executed that pick picks, in their order.
    template <typename Pick> std::vector<ScheduledRequest*> predictions(Pick pick) const
    {
        std::vector<ScheduledRequest*> picked;
        for (const auto& request : m_requests)
            if (!request->executed && pick(*request))
                picked.push_back(request.get());
        return picked;
    }
    int predictedWaiting() const;

    auto begin() const { return m_requests.cbegin(); }
    auto end() const { return m_requests.cend(); }

private:
    MemoryBudget& m_budget;
    std::vector<std::unique_ptr<ScheduledRequest>> m_requests;
    quint64 m_order = 0;
};
