// The transport measured end to end against local servers:
//   BM_WaitSleeps: CPU time while a request waits 5 s for its answer (the wait must sleep).
//   BM_RangedGiB: a 1 GiB file from nginx in the default 1 MiB ranged pieces, against curl
//   fetching it once; peak memory of this process is reported with it.
#include "crawl/crawlrun.h"
#include "crawl/transport.h"
#include "settings/settingskeys.h"

#include "support/crawlharness.h"
#include "support/nginxfixture.h"
#include "support/scriptedhttpserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <benchmark/benchmark.h>

#include <ctime>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

static double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

static double peakMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

static void BM_WaitSleeps(benchmark::State& state)
{
    ScriptedHttpServer server;
    if (!server.start()) {
        state.SkipWithError("no server");
        return;
    }
    CrawlHarness crawl;
    for (auto _ : state) {
        ScriptedHttpServer::Reply late { ScriptedHttpServer::response(200, "OK", {}, "done") };
        late.delayMs = 5000;
        server.enqueue(late);
        crawl.state.FetchKind = BodyKind::Binary;
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = processCpuSeconds();
        ClearTransferFlags(*crawl.context);
        ExecuteRequest(*crawl.context, server.url(u"/late"_s), u"GET"_s, u"Host: 127.0.0.1\r\n"_s);
        WaitRequestDone(*crawl.context, true);
        const double cpu = processCpuSeconds() - cpuBefore;
        state.counters["cpu_percent"] = 100.0 * cpu / (double(wall.elapsed()) / 1000.0);
        state.counters["wall_s"] = double(wall.elapsed()) / 1000.0;
    }
}
BENCHMARK(BM_WaitSleeps)->Iterations(1)->Unit(benchmark::kSecond);

static void BM_RangedGiB(benchmark::State& state)
{
    if (NginxFixture::executable().isEmpty()) {
        state.SkipWithError("nginx is not installed");
        return;
    }
    QTemporaryDir root;
    {
        QFile big(root.filePath(u"big.bin"_s));
        big.open(QIODevice::WriteOnly);
        big.resize(qint64(1) << 30);
    }
    NginxFixture nginx(root.path());
    if (!nginx.start()) {
        state.SkipWithError("nginx did not start");
        return;
    }
    for (auto _ : state) {
        QElapsedTimer curlTimer;
        curlTimer.start();
        QProcess::execute(u"curl"_s, { u"-s"_s, u"-o"_s, u"/dev/null"_s, nginx.url(u"/big.bin"_s) });
        const double curlSeconds = double(curlTimer.elapsed()) / 1000.0;

        CrawlHarness crawl;
        crawl.settings().save(SettingsKeys::DownloadExts, u".bin"_s);
        crawl.settings().save(SettingsKeys::MaxSize, 0);
        crawl.settings().save(SettingsKeys::ListViewCheck, 0);
        QElapsedTimer timer;
        timer.start();
        crawl.start(nginx.url(u"/big.bin"_s));
        const double seconds = double(timer.elapsed()) / 1000.0;
        const qint64 size = QFileInfo(crawl.siteDir() + u"/big.bin"_s).size();
        if (size != (qint64(1) << 30))
            state.SkipWithError("the file did not arrive whole");
        state.counters["crawl_s"] = seconds;
        state.counters["curl_s"] = curlSeconds;
        state.counters["ratio"] = seconds / curlSeconds;
        state.counters["peak_MiB"] = peakMiB();
        QFile::remove(crawl.siteDir() + u"/big.bin"_s);
    }
}
BENCHMARK(BM_RangedGiB)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
