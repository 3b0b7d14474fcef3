// SPDX-License-Identifier: MIT
// How fast the terminal takes in what a flooding device sends, and how much it
// keeps: 100 MB through onComm in 64-byte chunks, in three shapes. The literal
// transcription runs on the same shapes at 1 to 8 MB, to show how its cost
// grows with what has been collected.

#include "support/literal.h"
#include "terminal/terminal.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kestran;
using Clock = std::chrono::steady_clock;

constexpr std::size_t chunkSize = 64;
constexpr std::size_t megabyte = 1000 * 1000;

enum Shape { framesAfterSend, textWithoutStx, endlessFrame };

std::string makeStream(Shape shape, std::size_t size)
{
    std::string unit;
    switch (shape) {
    case framesAfterSend:
        unit = "\00201DRS,02,0001\r\n";
        break;
    case textWithoutStx:
        unit = "temperature 21.5 C, humidity 40 %\r\n";
        break;
    case endlessFrame:
        unit = "0123456789abcdefghijklmnopqrstuvwxyz";
        break;
    }
    std::string stream;
    stream.reserve(size + unit.size());
    if (shape == endlessFrame)
        stream += '\x02';
    while (stream.size() < size)
        stream += unit;
    stream.resize(size);
    return stream;
}

// Hands out the stream in fixed chunks, as a port would on each notification.
class StreamPort : public terminal::SerialPort {
public:
    explicit StreamPort(const std::string& stream) : m_stream(stream) {}
    bool exhausted() const { return m_at >= m_stream.size(); }

    bool portOpen() const override { return true; }
    bool openPort() override { return true; }
    void closePort() override {}
    void output(std::string_view) override {}
    std::size_t outputWaiting() const override { return 0; }
    // No clock is read: what is measured is the terminal's own part.
    terminal::Chunk input() override
    {
        terminal::Chunk chunk{m_stream.substr(m_at, chunkSize), {}, {}};
        m_at += chunk.bytes.size();
        return chunk;
    }
    terminal::CommEvent commEvent() const override { return terminal::CommEvent::comEvReceive; }
    std::optional<terminal::Moment> frameLeft() const override { return {}; }
    terminal::PortError lastError() const override { return {}; }

private:
    const std::string& m_stream;
    std::size_t m_at = 0;
};

class CountingWindow : public terminal::Window {
public:
    std::size_t lines = 0;
    std::string commandText() const override { return "STX01DRS,02,0001CRLF"; }
    void appendLine(const terminal::Row& row) override
    {
        benchmark::DoNotOptimize(row.line.get());
        ++lines;
    }
    void clearList() override {}
    void tellOperator(const terminal::Notice&) override {}
    void endProgram(int) override {}
};

// Feeds the whole stream, timing its first and last tenth apart.
template <typename AnyTerminal>
void feed(AnyTerminal& terminal, StreamPort& port, std::size_t size, benchmark::State& state)
{
    const std::size_t chunks = (size + chunkSize - 1) / chunkSize;
    const std::size_t tenth = chunks / 10;
    std::size_t fed = 0;
    Clock::duration firstTenth{};
    Clock::duration lastTenth{};
    auto tenthStart = Clock::now();
    while (!port.exhausted()) {
        terminal.onComm();
        ++fed;
        if (fed == tenth)
            firstTenth = Clock::now() - tenthStart;
        if (fed == chunks - tenth)
            tenthStart = Clock::now();
    }
    lastTenth = Clock::now() - tenthStart;
    state.counters["last_to_first_tenth"] =
        std::chrono::duration<double>(lastTenth) / std::chrono::duration<double>(firstTenth);
}

// What the heap holds now; a terminal's memory is what it adds to it.
std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

// One send, then the whole stream of the shape given by range(0), range(1) MB long.
template <typename AnyTerminal> void sendThenFlood(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    const std::size_t size = static_cast<std::size_t>(state.range(1)) * megabyte;
    const std::string stream = makeStream(shape, size);
    std::size_t held = 0;
    for (auto _ : state) {
        StreamPort port(stream);
        CountingWindow window;
        const std::size_t before = heapInUse();
        AnyTerminal terminal(port, window);
        terminal.onSend();
        feed(terminal, port, size, state);
        held = std::max(heapInUse(), before) - before;
        state.counters["lines"] = static_cast<double>(window.lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["held_bytes"] = static_cast<double>(held);
}

void BM_Terminal(benchmark::State& state)
{
    sendThenFlood<terminal::Terminal>(state);
}

void BM_Literal(benchmark::State& state)
{
    sendThenFlood<literal::LiteralTerminal>(state);
}

void shapes(benchmark::internal::Benchmark* b, std::vector<std::int64_t> sizes)
{
    b->ArgNames({"shape", "MB"});
    for (const auto shape : {framesAfterSend, textWithoutStx, endlessFrame})
        for (const auto size : sizes)
            b->Args({shape, size});
    b->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Terminal)->Apply([](auto* b) { shapes(b, {100}); });
BENCHMARK(BM_Literal)->Apply([](auto* b) { shapes(b, {1, 2, 4, 8}); });

} // namespace

BENCHMARK_MAIN();
