// The transfer control's pump, measured on its own against the scripted server:
//   BM_PumpWhileWaiting: CPU time while pump() waits a second for a late answer, as a share of the
//     wall time (cpu_percent); the wait must sleep, not spin (well under 20 %).
//   BM_PumpIdle: how long pump(1000) takes with no transfer running; it must return at once.
#include "transfer/curltransfercontrol.h"

#include "support/scriptedhttpserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <ctime>

using namespace Qt::StringLiterals;

static void BM_PumpWhileWaiting(benchmark::State& state)
{
    ScriptedHttpServer server;
    if (!server.start()) {
        state.SkipWithError("no server");
        return;
    }
    CurlTransferControl control;
    QByteArray body;
    control.setStateHandler([&](int) { body += control.nextBodyPiece(); });
    double cpuMs = 0;
    double wallMs = 0;
    for (auto _ : state) {
        body.clear();
        server.enqueue({ ScriptedHttpServer::response(200, "OK", {}, "late"), 1000 });
        QElapsedTimer wall;
        wall.start();
        const std::clock_t cpuBefore = std::clock();
        control.execute(server.url(u"/late"_s), u"GET"_s, {}, {});
        while (control.busy() && wall.elapsed() < 15000)
            control.pump(50);
        cpuMs += double(std::clock() - cpuBefore) * 1000.0 / CLOCKS_PER_SEC;
        wallMs += double(wall.elapsed());
        body += control.nextBodyPiece();
        if (body != "late") {
            state.SkipWithError("the late answer did not arrive");
            return;
        }
    }
    state.counters["cpu_percent"] = 100.0 * cpuMs / wallMs;
    state.counters["wall_ms"] = benchmark::Counter(wallMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PumpWhileWaiting)->Iterations(3)->Unit(benchmark::kMillisecond);

static void BM_PumpIdle(benchmark::State& state)
{
    CurlTransferControl control;
    for (auto _ : state)
        control.pump(1000);
}
BENCHMARK(BM_PumpIdle)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
