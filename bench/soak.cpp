// SPDX-License-Identifier: MIT
// Soak: KESTRAN's window, on the offscreen platform, on the port of a
// simulated device that floods it. It tracks this process's resident memory
// and CPU time while the stream goes through; halfway, the operator sends a
// command, and its response must show as a line.
//
//   build/bench/soak [text|frame|random] [megabytes] [--log]   (default: text 200)
//
// With --log the window keeps a session log (in a temporary folder), so
// that the log's cost on the receive path can be set against a run without.
//
// The window runs in this process, not in a kestran process of its own, so
// that the send can be made as an operator would make it.

#include "operatedwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

long residentKiB()
{
    long size = 0;
    long resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        // Sleeps until something happens, so the waiting costs no CPU time;
        // the memory sampler's timer wakes it at least every 100 ms.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    kestran::bench::preferOffscreen();
    QApplication app(argc, argv);
    const QString shape = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("text");
    const long long megabytes = argc > 2 ? std::atoll(argv[2]) : 200;
    const bool logging = argc > 3 && QByteArray(argv[3]) == "--log";
    QTemporaryDir logFolder;
    const QString logFile = logging ? logFolder.filePath(QStringLiteral("soak.log")) : QString();

    QProcess device;
    device.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    device.start(QStringLiteral(KESTRAN_DEVICE_BINARY),
                 {QStringLiteral("--flood"), shape, QStringLiteral("--bytes"),
                  QString::number(megabytes * 1000 * 1000)});
    if (!device.waitForReadyRead(10000))
        qFatal("the simulated device did not start");
    const QString port = QString::fromLocal8Bit(device.readLine()).trimmed();
    QString said;
    QObject::connect(&device, &QProcess::readyReadStandardOutput,
                     [&] { said += QString::fromLocal8Bit(device.readAllStandardOutput()); });

    kestran::bench::OperatedWindow operated(port, QStringLiteral("STXsoak halfwayCRLF"), logFile);
    if (!operated.loaded)
        return 1;
    auto* list = operated.list;

    const long rssStart = residentKiB();
    long rssMax = rssStart;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { rssMax = std::max(rssMax, residentKiB()); });
    sampler.start(100);
    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();

    const int timeoutMs = 600000;
    bool ok = pumpUntil([&] { return said.contains(QStringLiteral("streamed half")); }, timeoutMs);
    operated.send->click();
    const qint64 sentAt = wall.elapsed();
    const QString expected = QStringLiteral("STXsoak halfwayCRLF");
    const bool answered =
        ok &&
        pumpUntil([&] { return list->count() > 0 && list->lineAt(list->count() - 1) == expected; },
                  10000);
    const qint64 answeredAfterMs = wall.elapsed() - sentAt;
    ok = answered && pumpUntil([&] { return said.contains(QStringLiteral(" bytes")); }, timeoutMs);
    // What the device wrote last is still in the line's buffer for a moment.
    pumpUntil([] { return false; }, 300);
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuStart;
    rssMax = std::max(rssMax, residentKiB());

    const double rssGrowthMB = (rssMax - rssStart) / 1024.0;
    const double cpuPer100MB = cpu * 100.0 / static_cast<double>(megabytes);
    std::printf("log=%s log_MB=%.1f ", logging ? "yes" : "no",
                logging ? QFileInfo(logFile).size() / 1e6 : 0.0);
    std::printf("shape=%s MB=%lld seconds=%.2f MB/s=%.1f cpu_s=%.2f cpu_s_per_100MB=%.2f "
                "rss_start_MB=%.1f rss_max_MB=%.1f rss_growth_MB=%.1f "
                "halfway_answer=%s answered_after_ms=%lld list_rows=%d\n",
                qPrintable(shape), megabytes, seconds, static_cast<double>(megabytes) / seconds,
                cpu, cpuPer100MB, rssStart / 1024.0, rssMax / 1024.0, rssGrowthMB,
                answered ? "shown" : "MISSING", static_cast<long long>(answeredAfterMs),
                list->count());
    device.terminate();
    device.waitForFinished(5000);
    const bool met = ok && rssGrowthMB <= 16.0 && cpuPer100MB <= 2.0;
    std::printf("targets (growth <= 16 MB, <= 2 s CPU per 100 MB, answer shown): %s\n",
                met ? "met" : "NOT MET");
    return met ? 0 : 1;
}
