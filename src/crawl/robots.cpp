#include "crawl/robots.h"

#include "address/addressfunctions.h"
#include "address/authority.h"
#include "crawl/httpheaders.h"
#include "crawl/progress.h"
#include "crawl/transport.h"
#include "crawl/writefailure.h"
#include "productnames.h"
#include "records/logs.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype MostRobotsBytes = 500 * 1024;
// A Crawl-delay longer than this makes a crawl of the host slow enough to be told.
constexpr int LongCrawlDelayMs = 60 * 1000;

} // namespace

bool LearnRobots(CrawlContext& c, const QString& address)
{
    CrawlState& s = c.state;
    const QString origin = OriginOf(address);
    if (!s.FollowRobots || s.Robots.contains(origin))
        return true;
    QByteArray body;
    const OwnFetch fetched = FetchRobotsText(c, address, body);
    const int code = fetched.status;
    c.robotsUnread.remove(origin);
    if (!fetched.failure.isEmpty())
        c.robotsUnread.insert(origin, fetched.failure);
    else if (code < 100 || code >= 500)
        c.robotsUnread.insert(origin, u"ステータス："_s + QString::number(code));
    if (fetched.stopped)
        return false;
    RobotsRules rules; // not there (4xx), or more redirects than followed: everything allowed
    if (code < 100 || code >= 500)
        rules = RobotsRules::allowingNothing();
    else if (code >= 200 && code < 300)
        rules = RobotsRules::parse(body, ProductName);
    s.Robots.insert(origin, rules);
    if (rules.crawlDelayMs() > 0)
        c.transfer.setHostInterval(address, rules.crawlDelayMs());
    if (rules.crawlDelayMs() > LongCrawlDelayMs)
        c.longCrawlDelays.insert(origin, rules.crawlDelayMs());
    return true;
}

OwnFetch FetchRobotsText(CrawlContext& c, const QString& address, QByteArray& body)
{
    body.clear();
    return FetchOwnFile(c, SiteRootOf(address) + u"robots.txt"_s, [&body](QByteArrayView piece) {
        body += piece.first(std::min(piece.size(), MostRobotsBytes - body.size()));
        return body.size() < MostRobotsBytes;
    });
}

void TellLongCrawlDelay(CrawlContext& context, const QString& address)
{
    const QString origin = OriginOf(address);
    const auto delay = context.longCrawlDelays.constFind(origin);
    if (delay == context.longCrawlDelays.cend())
        return;
    // Not a failure of anything: the crawl goes on, one request a Crawl-delay.
    ReportWriteFailure(context,
        WriteFailureReport(context.files, context.state.SiteDir, context.clock,
            u"robots.txtのCrawl-delayが1分を超えています"_s,
            HostOf(address) + u" は要求の間隔を"_s + QString::number(*delay / 1000) + u"秒とするよう求めています。"_s,
            SiteRootOf(address) + u"robots.txt"_s, FailureReportName));
    context.longCrawlDelays.erase(delay);
}

bool RobotsRefuse(CrawlContext& context, const QString& address)
{
    if (RobotsAllow(context.state, address))
        return false;
    const QString robots = SiteRootOf(address) + u"robots.txt"_s;
    ++context.state.RobotsRefusals;
    if (const auto unread = context.robotsUnread.constFind(OriginOf(address)); unread != context.robotsUnread.cend())
        ReportFailure(context, u"robots.txtを読めませんでした"_s, robots + u' ' + *unread, address);
    else
        ReportFailure(context, u"robots.txtで禁止されています"_s, robots, address);
    return true;
}

bool RobotsAllow(const CrawlState& state, const QString& address)
{
    if (!state.FollowRobots)
        return true;
    const auto rules = state.Robots.constFind(OriginOf(address));
    return rules != state.Robots.cend() && rules->allows(RobotsPathOf(address));
}
