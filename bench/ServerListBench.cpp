#include "ServerListReply.h"
#include "api/ApiReply.h"
#include "core/AppState.h"
#include "servers/ServerList.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {
void ParseAndRebuild5000(benchmark::State& state) {
    const QByteArray body = serverListReply(5000);
    for (auto _ : state) {
        const auto reply = ApiReply::parse(body);
        rebuildServerLists(*reply);
        benchmark::DoNotOptimize(appState().ikev2ServerList.size());
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}
BENCHMARK(ParseAndRebuild5000)->Unit(benchmark::kMillisecond);

// The two halves of the above, to tell where the time goes.
void Parse5000(benchmark::State& state) {
    const QByteArray body = serverListReply(5000);
    for (auto _ : state)
        benchmark::DoNotOptimize(ApiReply::parse(body));
    state.SetBytesProcessed(state.iterations() * body.size());
}
BENCHMARK(Parse5000)->Unit(benchmark::kMillisecond);

void Rebuild5000(benchmark::State& state) {
    const auto reply = ApiReply::parse(serverListReply(5000));
    for (auto _ : state) {
        rebuildServerLists(*reply);
        benchmark::DoNotOptimize(appState().ikev2ServerList.size());
    }
}
BENCHMARK(Rebuild5000)->Unit(benchmark::kMillisecond);

void LenientReaderOnLargeReply(benchmark::State& state) {
    const auto reply = ApiReply::parse(serverListReply(5000));
    for (auto _ : state) {
        qsizetype total = 0;
        for (const ApiReply& server : reply->array("data"))
            total += server.text("config").size() + server.boolean("is_active");
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(LenientReaderOnLargeReply)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
