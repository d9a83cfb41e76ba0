// Link scanning cost against page size: a page of N links, none of which the resolver accepts
// (they are all out of scope), so only the scanner and the scope test are measured.
#include "crawl/linkscanner.h"
#include "settings/settingsstore.h"
#include "transfer/lookaheadtransfercontrol.h"

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

static void BM_ScanPageLinks(benchmark::State& state)
{
    const QString page = pageWithLinks(int(state.range(0)) / 2);
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
    for (auto _ : state)
        ScanPageLinks(context, u"http://h/index.html"_s, page);
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(state.iterations() * page.size() * 2);
    state.counters["page_MiB"] = double(page.toUtf8().size()) / 1048576.0;
}
BENCHMARK(BM_ScanPageLinks)
    ->Arg(20000)
    ->Arg(40000)
    ->Arg(80000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
