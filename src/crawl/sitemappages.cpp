#include "crawl/sitemappages.h"

#include "address/addressfunctions.h"
#include "address/authority.h"
#include "crawl/linkaddress.h"
#include "crawl/linkscanner.h"
#include "crawl/lookahead.h"
#include "crawl/robots.h"
#include "crawl/sitemap.h"
#include "crawl/transport.h"
#include "crawl/writefailure.h"
#include "productnames.h"
#include "records/logs.h"
#include "storage/filefilters.h"
#include "storage/localpath.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Sitemaps read in one run at most, indexes included: as many as one index may name, and itself.
constexpr qsizetype MostSitemapsRead = MostSitemapAddresses + 1;
// Listed pages whose probes are predicted at a time, one stretch ahead of the page being probed.
constexpr qsizetype ListedProbesAhead = 128;

// The sitemaps robots.txt names for topPage's host; empty after a stop.
QStringList namedSitemaps(CrawlContext& c, const QString& topPage)
{
    CrawlState& s = c.state;
    if (s.FollowRobots) {
        if (!LearnRobots(c, topPage))
            return {};
        return s.Robots.value(OriginOf(topPage)).sitemaps();
    }
    QByteArray body;
    const OwnFetch fetched = FetchRobotsText(c, topPage, body);
    if (fetched.stopped || fetched.status < 200 || fetched.status >= 300)
        return {};
    return RobotsRules::parse(body, ProductName).sitemaps();
}

// Whether the file filters would save the sitemap's own file.
bool wanted(const CrawlState& s, const QString& address)
{
    QString name = FileNameOf(address);
    const QString path = MapLocalPath(s.localTree(), name, address, SiteRootOf(address), -1);
    return !path.isEmpty() && PassesFileFilters(path, name, s.DownloadExtList, s.OnNameList, s.NotNameList);
}

void tellUnread(CrawlContext& c, const QString& sitemap, const QString& why)
{
    ReportWriteFailure(c,
        WriteFailureReport(
            c.files, c.state.SiteDir, c.clock, u"サイトマップを読めませんでした"_s, why, sitemap, FailureReportName));
}

// Reads one sitemap, telling what kept it from being read unless it was only guessed at.
std::optional<Sitemap> readSitemap(CrawlContext& c, const QString& address, bool guessed)
{
    SitemapReader reader;
    const OwnFetch fetched = FetchOwnFile(c, address, [&reader](QByteArrayView piece) { return reader.add(piece); });
    if (fetched.stopped)
        return std::nullopt;
    Sitemap sitemap = reader.finish();
    if (fetched.status != 200) {
        if (!guessed)
            tellUnread(c, address,
                fetched.failure.isEmpty() ? u"ステータス："_s + QString::number(fetched.status) : fetched.failure);
        return Sitemap {};
    }
    if (sitemap.cut)
        tellUnread(c, address,
            u"サイトマップの上限（"_s + QString::number(MostSitemapAddresses)
                + u"件、50MB）を超える分は読みませんでした。"_s);
    else if (!sitemap.wellFormed && !(guessed && sitemap.addresses.isEmpty()))
        tellUnread(c, address, u"サイトマップの形式ではないか、途中で壊れています。"_s);
    return sitemap;
}

} // namespace

void JoinSitemapPages(CrawlContext& c, const QString& topPage)
{
    CrawlState& s = c.state;
    if (!s.FollowSitemaps || (s.DepthLimit > 0 && s.DepthLimit < s.CurDepth + 1))
        return;
    c.host.setCaption(u"検査中"_s);
    QStringList sitemaps = namedSitemaps(c, topPage);
    if (s.StopRequested)
        return;
    // Where none is named, /sitemap.xml is tried; its absence is nothing to tell.
    const QString guessed = sitemaps.isEmpty() ? SiteRootOf(topPage) + u"sitemap.xml"_s : QString();
    if (!guessed.isEmpty())
        sitemaps.append(guessed);
    QSet<QString> seen(sitemaps.cbegin(), sitemaps.cend());
    const QString topDirectory = DirectoryAddressOf(topPage);
    const QString topRoot = SiteRootOf(topPage);
    const auto queue = [&](const QString& address) {
        WorkRecord record;
        record.address = address;
        record.directoryAddress = topDirectory;
        record.siteRoot = topRoot;
        QueueLink(c, record, topPage);
    };
    for (qsizetype i = 0; i < sitemaps.size() && i < MostSitemapsRead && !s.StopRequested; ++i) {
        const QString address = EncodeForWire(sitemaps.at(i)); // as a link is sent
        // A sitemap elsewhere than on the top page's host is read only where the crawl may go: a
        // hostile index cannot send requests to any host it likes.
        if (HostOf(address).compare(HostOf(topPage), Qt::CaseInsensitive) != 0
            && !InScope(address, s.SearchType, s.TopRoot, s.TopBase))
            continue;
        if (!LearnRobots(c, address))
            return;
        if (!RobotsAllow(s, address))
            continue;
        if (wanted(s, address))
            queue(address);
        c.host.setCurrentAddress(address);
        const std::optional<Sitemap> sitemap = readSitemap(c, address, address == guessed);
        if (!sitemap)
            return;
        if (sitemap->isIndex) {
            // Its sitemaps are read where it stands, each once.
            QStringList named;
            for (const QString& inIndex : sitemap->addresses)
                if (!seen.contains(inIndex)) {
                    seen.insert(inIndex);
                    named.append(inIndex);
                }
            sitemaps = sitemaps.first(i + 1) + named + sitemaps.sliced(i + 1);
            continue;
        }
        const QStringList& pages = sitemap->addresses;
        qsizetype predicted = 0;
        for (qsizetype p = 0; p < pages.size() && !s.StopRequested; ++p) {
            // The probes of the next pages go ahead on the other connections, a stretch at a time.
            if (p % ListedProbesAhead == 0) {
                const qsizetype until = std::min(pages.size(), p + 2 * ListedProbesAhead);
                PredictListedProbes(c, topPage, pages.mid(predicted, until - predicted));
                predicted = until;
            }
            c.host.yield();
            queue(pages.at(p));
        }
    }
}
