// SPDX-License-Identifier: MIT
// How the response list copes with a device that keeps answering: lines are
// appended one per pass of the event loop, as the port's notifications would
// append them, with the list shown at the window's size. A plain QListWidget
// is measured the same way for comparison.

#include "operatedwindow.h"
#include "window/responselist.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QHeaderView>
#include <QListView>
#include <QListWidget>
#include <QTableView>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

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

// A row of a payload's own line.
kestran::terminal::Row line(std::string payload, std::size_t cut = 0)
{
    kestran::terminal::Row row;
    row.line = std::make_shared<const kestran::notation::FormedLine>(
        kestran::notation::FormedLine{std::move(payload), cut});
    row.came = kestran::terminal::Moment::now();
    return row;
}

long residentBytes()
{
    long size = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
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
// For distinct lines it also tells what each row holds beyond its own
// bytes: on the heap (mallinfo2) and in resident memory.
void BM_ResponseList(benchmark::State& state)
{
    const std::int64_t count = state.range(0);
    const bool distinct = state.range(1) != 0;
    const auto same = line("01DRS,02,0001");
    for (auto _ : state) {
        kestran::window::ResponseList list;
        showAtWindowSize(list);
        const std::size_t heapBefore = mallinfo2().uordblks;
        const long rssBefore = residentBytes();
        std::size_t bytes = 0;
        const auto start = Clock::now();
        stream(state, count, [&](std::int64_t i) {
            const auto each = distinct ? line("01DRS,02," + std::to_string(i)) : same;
            bytes += each.line->payload.size();
            list.appendLine(each);
        });
        reportPerLine(state, count, Clock::now() - start);
        if (distinct) {
            const double rows = static_cast<double>(count);
            state.counters["heap_per_row_beyond_bytes"] =
                (static_cast<double>(mallinfo2().uordblks - heapBefore) - bytes) / rows;
            state.counters["rss_per_row_beyond_bytes"] =
                (static_cast<double>(residentBytes() - rssBefore) - bytes) / rows;
            state.counters["bytes_per_row"] = static_cast<double>(bytes) / rows;
        }
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

// Rows as runs of one line, as a model for Qt's own views.
class RunModel : public QAbstractListModel {
public:
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : m_rows; }
    QVariant data(const QModelIndex&, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(m_line) : QVariant();
    }
    void append()
    {
        beginInsertRows({}, m_rows, m_rows);
        ++m_rows;
        endInsertRows();
    }

private:
    QString m_line = QStringLiteral("STX01DRS,02,0001CRLF");
    int m_rows = 0;
};

template <typename View> void BM_QtView(benchmark::State& state)
{
    const std::int64_t count = state.range(0);
    for (auto _ : state) {
        RunModel model;
        View view;
        if constexpr (std::is_same_v<View, QListView>) {
            view.setUniformItemSizes(true);
        } else {
            view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
            view.verticalHeader()->hide();
        }
        view.setModel(&model);
        showAtWindowSize(view);
        const auto start = Clock::now();
        stream(state, count, [&](std::int64_t) { model.append(); });
        reportPerLine(state, count, Clock::now() - start);
    }
}

// 64 KiB payloads of one kind each: 0 = 0xFF bytes, 1 = random bytes,
// 2 = Hangul, 3 = one letter under endless combining accents, 4 = skin-tone
// modifiers (one endless cluster), 5 = numbers and spaces, 6 = Hebrew words,
// 7 = Hebrew words between numbers (one right-to-left run, which no cut may
// split before the 1 KiB cap).
std::string longPayload(int kind, unsigned seed)
{
    static const char* const repeated[] = {"\xFF",
                                           nullptr,
                                           "\xED\x95\x9C",
                                           "\xCC\x81",
                                           "\xF0\x9F\x8F\xBB",
                                           "12 ",
                                           "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D ",
                                           "\xD7\x90 12 "};
    std::string payload = kind == 3 ? "a" : "";
    std::mt19937 random(seed);
    while (payload.size() < 65536)
        payload += kind == 1 ? std::string(1, static_cast<char>(random())) : repeated[kind];
    payload.resize(65536);
    return payload;
}

// A list full of distinct 64 KiB rows of one kind: what a repaint of the
// whole list costs, the first and the ones after; what the rows hold per
// byte received; and how long a row takes to lay out when it arrives.
void BM_LongRows(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    constexpr int rows = 20;
    kestran::window::ResponseList list;
    showAtWindowSize(list);
    const std::size_t heldBefore = mallinfo2().uordblks;
    std::size_t received = 0;
    Clock::duration layoutTime{};
    for (unsigned i = 0; i < rows; ++i) {
        const auto each = line(longPayload(kind, i));
        received += each.line->payload.size();
        const auto layoutStart = Clock::now();
        list.appendLine(each);
        layoutTime += Clock::now() - layoutStart;
    }
    // The first repaint shapes what is in view; the ones after draw it again.
    const auto firstStart = Clock::now();
    list.viewport()->repaint();
    const auto firstRepaint = Clock::now() - firstStart;
    QCoreApplication::processEvents();
    // What the list holds, the line it keeps to know a repeat included.
    const std::size_t held = mallinfo2().uordblks - heldBefore;
    for (auto _ : state)
        list.viewport()->repaint();
    state.counters["bytes_held_per_byte"] =
        static_cast<double>(held) / static_cast<double>(received);
    state.counters["first_repaint_ms"] =
        std::chrono::duration<double, std::milli>(firstRepaint).count();
    state.counters["layout_ms_per_row"] =
        std::chrono::duration<double, std::milli>(layoutTime).count() / rows;
}

BENCHMARK(BM_ResponseList)
    ->ArgNames({"lines", "distinct"})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LongRows)
    ->ArgNames({"kind"})
    ->DenseRange(0, 7)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_TEMPLATE(BM_QtView, QListView)
    ->ArgNames({"lines"})
    ->Arg(10000)
    ->Arg(50000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_QtView, QTableView)
    ->ArgNames({"lines"})
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
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
