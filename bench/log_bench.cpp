// SPDX-License-Identifier: MIT
// What the session log costs apart from the rest of a session: 100 MB of
// text lines in the 4 KB chunks a pseudo-terminal hands over, spelled into
// log lines alone, and recorded whole into a file (a chunk's entries, then
// one write). bench/README.md sets it beside the soak with the log.

#include "notation/spelling.h"
#include "record/sessionlog.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace kestran;

constexpr std::size_t megabyte = 1000 * 1000;

// The simulated device's text flood, as the port reads it.
std::vector<std::string> chunks(std::size_t size)
{
    std::vector<std::string> read(1);
    std::size_t total = 0;
    for (long line = 1; total < size; ++line) {
        const std::string text = "line " + std::to_string(line) + " without STX\r\n";
        if (read.back().size() + text.size() > 4096)
            read.emplace_back();
        read.back() += text;
        total += text.size();
    }
    return read;
}

void BM_Spelling(benchmark::State& state)
{
    const auto read = chunks(static_cast<std::size_t>(state.range(0)) * megabyte);
    std::string line;
    for (auto _ : state) {
        for (const std::string& chunk : read) {
            line.clear();
            notation::appendQuoted(chunk, line);
            benchmark::DoNotOptimize(line.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) *
                            static_cast<std::int64_t>(megabyte));
}

void BM_SessionLog(benchmark::State& state)
{
    const auto read = chunks(static_cast<std::size_t>(state.range(0)) * megabyte);
    const auto path = std::filesystem::temp_directory_path() / "kestran-log-bench.log";
    for (auto _ : state) {
        std::filesystem::remove(path);
        record::SessionLog log;
        std::string problem;
        if (!log.open(path.string(), problem)) {
            state.SkipWithError(problem.c_str());
            return;
        }
        for (const std::string& chunk : read)
            log.read({chunk, terminal::Moment::now(), {}}, nullptr);
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) *
                            static_cast<std::int64_t>(megabyte));
}

void hundredMegabytes(benchmark::internal::Benchmark* b)
{
    b->Arg(100)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
    b->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
}

BENCHMARK(BM_Spelling)->Apply(hundredMegabytes);
BENCHMARK(BM_SessionLog)->Apply(hundredMegabytes);

} // namespace

BENCHMARK_MAIN();
