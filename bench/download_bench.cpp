// How long the program takes to store a download and to format results:
// a full analyzer memory into a main table that already holds years of results.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "core/result_format.h"
#include "protocol/process_download.h"
#include "tools/analyzer-sim/model/records.h"

namespace tav {
namespace {

class SilentChannel final : public LinkChannel {
  public:
    void SendLinkCommand(int) override {}
    void ShowMessage(const std::string&) override {}
    void ShowProgress(const std::string&) override {}
};

std::string MakeHome() {
    char templ[] = "/tmp/tav-bench-XXXXXX";
    return mkdtemp(templ);
}

std::string Payload(int count, uint32_t seed) {
    sim::GenerateOptions options;
    options.count = count;
    options.seed = seed;
    options.from = {2020, 1, 1};
    options.to = {2024, 12, 31};
    std::string payload;
    for (const auto& r : sim::GenerateRecords(options)) payload += r;
    return payload;
}

// Stores `records` new results (each checked against the main table) into a
// main table that already holds `existing` results.
void BM_ProcessDownload(benchmark::State& state) {
    const int existing = static_cast<int>(state.range(0));
    const int records = static_cast<int>(state.range(1));
    VirtualClock clock;
    SilentChannel channel;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string home = MakeHome();
        ResultDatabase db(clock);
        db.InitResultDatabase(home);
        LinkState link;
        link.HandshakeSeen = 1;
        link.RxPayload = Payload(existing, 7);
        link.RecordCount = existing;
        ProcessDownload(link, db, channel, clock, home, IdDigits{}, home);
        link.RxPayload = Payload(records, 8);
        link.RecordCount = records;
        state.ResumeTiming();
        DownloadSummary summary = ProcessDownload(link, db, channel, clock, home, IdDigits{}, home);
        benchmark::DoNotOptimize(summary);
        state.PauseTiming();
        db.Close();
        std::filesystem::remove_all(home);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_ProcessDownload)
    ->Args({0, 100})
    ->Args({5000, 100})
    ->Args({5000, 1000})
    ->Unit(benchmark::kMillisecond);

void BM_FormatResult(benchmark::State& state) {
    const char* values[] = {"065", "140", "039", "072", "101"};
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatResult(values[i % 5], i & 1));
        ++i;
    }
}
BENCHMARK(BM_FormatResult);

}  // namespace
}  // namespace tav
