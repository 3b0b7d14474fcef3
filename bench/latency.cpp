// SPDX-License-Identifier: MIT
// Latency: how long from Alt+S to the frame at the device end of a
// pseudo-terminal, and from the last byte of a response written there to its
// line standing in KESTRAN's list. The device answers from a thread of its
// own; the window runs offscreen in this process, and the key is pressed as
// the operator presses it, through Qt's access keys.
//
//   build/bench/latency [exchanges]     (default 1000)

#include "operatedwindow.h"
#include "support/pty.h"

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

} // namespace

int main(int argc, char** argv)
{
    kestran::bench::preferOffscreen();
    QApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    kestran::testing::Pty device;
    kestran::bench::OperatedWindow operated(QString::fromStdString(device.portName()),
                                            QStringLiteral("STX01DRS,02,0001CRLF"));
    if (!operated.loaded)
        return 1;
    auto* list = operated.list;

    // The device: waits for each frame, answers it, and notes when the
    // answer's last byte went out.
    std::atomic<long long> answeredAt{0}, frameAt{0};
    std::atomic<int> answers{0};
    std::atomic<bool> stop{false};
    std::thread answering([&] {
        const std::string frame = "\00201DRS,02,0001\r\n";
        while (!stop) {
            std::string got;
            while (!stop && got.size() < frame.size())
                got += device.read(frame.size() - got.size(), 50ms);
            if (stop)
                break;
            frameAt = Clock::now().time_since_epoch().count();
            const std::string answer = "\00201DRS,02,0001,OK\r\n";
            const auto writing = Clock::now();
            device.write(answer);
            answeredAt = writing.time_since_epoch().count();
            ++answers;
        }
    });

    std::vector<double> latenciesUs, keyToFrameUs;
    latenciesUs.reserve(static_cast<std::size_t>(exchanges));
    operated.window.activateWindow();
    if (!QTest::qWaitForWindowActive(&operated.window))
        return 1;
    for (int i = 0; i < exchanges; ++i) {
        const int before = list->count();
        const auto pressed = Clock::now();
        QTest::keyClick(&operated.window, Qt::Key_S, Qt::AltModifier);
        while (list->count() == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto shown = Clock::now();
        while (answers.load() <= i)
            std::this_thread::yield();
        const Clock::time_point written{Clock::duration{answeredAt.load()}};
        const Clock::time_point framed{Clock::duration{frameAt.load()}};
        latenciesUs.push_back(std::chrono::duration<double, std::micro>(shown - written).count());
        keyToFrameUs.push_back(std::chrono::duration<double, std::micro>(framed - pressed).count());
    }
    stop = true;
    answering.join();

    const double median = percentile(latenciesUs, 0.5);
    const double p99 = percentile(latenciesUs, 0.99);
    const double keyMedian = percentile(keyToFrameUs, 0.5);
    const double keyP99 = percentile(keyToFrameUs, 0.99);
    std::printf("exchanges=%d response_to_row: median_us=%.0f p99_us=%.0f max_us=%.0f\n", exchanges,
                median, p99, *std::max_element(latenciesUs.begin(), latenciesUs.end()));
    std::printf("alt_s_to_frame: median_us=%.0f p99_us=%.0f max_us=%.0f\n", keyMedian, keyP99,
                *std::max_element(keyToFrameUs.begin(), keyToFrameUs.end()));
    const bool met = p99 <= 5000 && keyP99 <= 2000;
    std::printf("targets (response to row p99 <= 5 ms, Alt+S to frame p99 <= 2 ms): %s\n",
                met ? "met" : "NOT MET");
    return met ? 0 : 1;
}
