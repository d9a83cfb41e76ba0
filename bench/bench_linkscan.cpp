// Link scanning cost against page size: a page of N links, none of which the resolver accepts
// (they are all out of scope), so only the scanner and the scope test are measured. And the
// robots.txt check of a site of tens of thousands of rules against as many links.
#include "address/robotsrules.h"
#include "crawl/linkscanner.h"
#include "crawl/sitemap.h"
#include "settings/settingsstore.h"
#include "transfer/lookaheadtransfercontrol.h"

#include "support/gzipped.h"
#include "support/quiethost.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

static QString pageWithLinks(int links)
{
    QString page = u"<html><body>"_s;
    for (int i = 0; i < links; ++i)
        page += u"<p>t</p><a href=\"p%1.html\">x</a><img src=i%1.gif>\n"_s.arg(i % 100000, 5, 10, QChar(u'0'));
    return page + u"</body></html>"_s;
}

// A gallery page of the lazy loaders' kind: every picture named by data-original, data-srcset and
// a style's url(), beside its link and a shared-picture meta.
static QString galleryWithLinks(int links)
{
    QString page = u"<html><head><meta property=\"og:image\" content=\"og.jpg\"></head><body>"_s;
    for (int i = 0; i < links; ++i)
        page += u"<a href=\"p%1.html\"><img data-original=\"o%1.jpg\" data-srcset=\"s%1.jpg 1x, t%1.jpg 2x\" "
                "style=\"background:url(&quot;b%1.jpg&quot;)\"></a>\n"_s.arg(i % 100000, 5, 10, QChar(u'0'));
    return page + u"</body></html>"_s;
}

static void BM_ScanPageLinks(benchmark::State& state)
{
    // range(1): the scan with every link source, over a gallery of lazy loaders.
    const bool more = state.range(1) != 0;
    const QString page = more ? galleryWithLinks(int(state.range(0)) / 5) : pageWithLinks(int(state.range(0)) / 2);
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(u"s.conf"_s));
    CrawlState crawl;
    QuietHost host;
    LookAheadTransferControl transfer;
    SystemClock clock;
    CrawlContext context(crawl, host, transfer, settings, clock);
    crawl.SiteDir = dir.path();
    crawl.WorkList = dir.filePath(u"work.csv"_s);
    crawl.TopRoot = u"http://elsewhere.invalid/"_s;
    crawl.SearchType = 2;
    crawl.MoreLinks = more;
    for (auto _ : state)
        ScanPageLinks(context, u"http://h/index.html"_s, page);
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(state.iterations() * page.size() * 2);
    state.counters["page_MiB"] = double(page.toUtf8().size()) / 1048576.0;
}
BENCHMARK(BM_ScanPageLinks)
    ->Args({ 20000, 0 })
    ->Args({ 40000, 0 })
    ->Args({ 80000, 0 })
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanPageLinks)
    ->Name("BM_ScanGalleryLinks")
    ->Args({ 50000, 1 })
    ->Args({ 100000, 1 })
    ->Args({ 200000, 1 })
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// A sitemap of N pages with their dates, up to the 50,000 the protocol allows; range(1): packed as
// .xml.gz and read in the 16 KiB pieces an answer comes in.
static void BM_ReadSitemap(benchmark::State& state)
{
    const bool packed = state.range(1) != 0;
    QByteArray xml
        = R"(<?xml version="1.0" encoding="UTF-8"?><urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (qint64 i = 0; i < state.range(0); ++i)
        xml += "<url><loc>https://h.example/entry/" + QByteArray::number(i)
            + ".html</loc><lastmod>2026-12-08</lastmod></url>\n";
    xml += "</urlset>";
    const QByteArray answer = packed ? Gzipped(xml) : xml;
    for (auto _ : state) {
        SitemapReader reader;
        for (qsizetype at = 0; at < answer.size(); at += 16384)
            reader.add(QByteArrayView(answer).sliced(at, std::min<qsizetype>(16384, answer.size() - at)));
        benchmark::DoNotOptimize(reader.finish());
    }
    state.SetComplexityN(state.range(0));
    state.counters["MiB"] = double(answer.size()) / 1048576.0;
}
BENCHMARK(BM_ReadSitemap)
    ->Args({ 12500, 0 })
    ->Args({ 25000, 0 })
    ->Args({ 50000, 0 })
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSitemap)
    ->Name("BM_ReadSitemapGzip")
    ->Args({ 12500, 1 })
    ->Args({ 25000, 1 })
    ->Args({ 50000, 1 })
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// 36,000 rules (literal, wildcard and anchored ones in many folders) against 70,000 links.
static void BM_RobotsRules(benchmark::State& state)
{
    QByteArray text = "User-agent: *\n";
    for (int i = 0; i < 12000; ++i) {
        const QByteArray n = QByteArray::number(i);
        text += "Disallow: /f" + n + "/private/\nAllow: /f" + n + "/*.gif$\nDisallow: /g" + n + "*x\n";
    }
    const RobotsRules rules = RobotsRules::parse(text, u"Fetchwright"_s);
    QStringList paths;
    for (int i = 0; i < 70000; ++i)
        paths.append(u"/f%1/private/p%2.gif"_s.arg(i % 15000).arg(i));
    for (auto _ : state) {
        int allowed = 0;
        for (const QString& path : paths)
            allowed += rules.allows(path);
        benchmark::DoNotOptimize(allowed);
    }
}
BENCHMARK(BM_RobotsRules)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
