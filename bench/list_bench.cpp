// How the response list copes with a device that keeps answering: lines are
// appended one per pass of the event loop, as the port's notifications would
// append them, with the list shown at the window's size. A plain QListWidget
// is measured the same way for comparison.

#include "operatedwindow.h"
#include "window/responselist.h"

#include <QApplication>
#include <QListWidget>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Appends `count` lines with one pass of the event loop after each, timing
// the first and last tenth apart.
template <typename Append> void stream(benchmark::State& state, std::int64_t count, Append append)
{
    const std::int64_t tenth = count / 10;
    Clock::duration firstTenth{};
    auto tenthStart = Clock::now();
    for (std::int64_t i = 0; i < count; ++i) {
        append(i);
        QCoreApplication::processEvents();
        if (i + 1 == tenth)
            firstTenth = Clock::now() - tenthStart;
        if (i + 1 == count - tenth)
            tenthStart = Clock::now();
    }
    const auto lastTenth = Clock::now() - tenthStart;
    state.counters["last_to_first_tenth"] =
        std::chrono::duration<double>(lastTenth) / std::chrono::duration<double>(firstTenth);
}

kestran::terminal::ShownLine line(std::string bytes, std::size_t cut = 0)
{
    return std::make_shared<const kestran::notation::FormedLine>(
        kestran::notation::FormedLine{std::move(bytes), cut});
}

template <typename List> void showAtWindowSize(List& list)
{
    QFont font(QStringLiteral("System"), 12);
    list.setFont(font);
    list.resize(345, 212);
    list.show();
    QCoreApplication::processEvents();
}

void reportPerLine(benchmark::State& state, std::int64_t count, Clock::duration total)
{
    state.counters["us_per_line"] =
        std::chrono::duration<double, std::micro>(total).count() / static_cast<double>(count);
}

// range(0): lines; range(1): 0 = the same response every time (the usual case
// after one send), 1 = a different line every time.
void BM_ResponseList(benchmark::State& state)
{
    const std::int64_t count = state.range(0);
    const bool distinct = state.range(1) != 0;
    const auto same = line("STX01DRS,02,0001CRLF");
    for (auto _ : state) {
        kestran::window::ResponseList list;
        showAtWindowSize(list);
        const auto start = Clock::now();
        stream(state, count, [&](std::int64_t i) {
            list.appendLine(distinct ? line("STX01DRS,02," + std::to_string(i) + "CRLF") : same);
        });
        reportPerLine(state, count, Clock::now() - start);
    }
}

void BM_QListWidget(benchmark::State& state)
{
    const std::int64_t count = state.range(0);
    const QString same = QStringLiteral("STX01DRS,02,0001CRLF");
    for (auto _ : state) {
        QListWidget list;
        showAtWindowSize(list);
        const auto start = Clock::now();
        stream(state, count, [&](std::int64_t) { list.addItem(same); });
        reportPerLine(state, count, Clock::now() - start);
    }
}

BENCHMARK(BM_ResponseList)
    ->ArgNames({"lines", "distinct"})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_QListWidget)
    ->ArgNames({"lines"})
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    kestran::bench::preferOffscreen();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
