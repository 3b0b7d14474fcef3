// SPDX-License-Identifier: MIT
// A kestran process (offscreen) on a symlink to a pseudo-terminal, as udev
// names a USB device: the CPU time it uses idle with the port open, and while
// it waits for an unplugged device to come back; then the time from the device's return (the
// symlink made anew) to the window saying Send works again.
//
//   build/bench/replug [ROUNDS]

#include "support/pty.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// CPU time a process has used, in nanoseconds from the scheduler rather
// than in the 10 ms ticks of /proc/PID/stat.
std::chrono::microseconds cpuTime(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    return std::chrono::microseconds(stat.readAll().split(' ').value(0).toLongLong() / 1000);
}

template <typename Condition> bool waitFor(Condition done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    QTemporaryDir links;
    const QString link = links.filePath(QStringLiteral("usb-device-if00"));
    for (int round = 1; round <= rounds; ++round) {
        auto device = std::make_unique<kestran::testing::Pty>();
        QFile::link(QString::fromStdString(device->portName()), link);
        QProcess kestran;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        kestran.setProcessEnvironment(environment);
        kestran.start(QStringLiteral(KESTRAN_BINARY), {link});
        if (!kestran.waitForStarted(10000))
            return 1;
        std::this_thread::sleep_for(1s); // start-up settles
        const qint64 pid = kestran.processId();
        auto before = cpuTime(pid);
        std::this_thread::sleep_for(10s);
        const auto idle = cpuTime(pid) - before;

        QByteArray errors;
        const auto said = [&](const char* text) {
            return waitFor(
                [&] {
                    kestran.waitForReadyRead(0);
                    errors += kestran.readAllStandardError();
                    return errors.contains(text);
                },
                5s);
        };
        device.reset();
        said("stopped working");
        before = cpuTime(pid);
        std::this_thread::sleep_for(10s);
        const auto waiting = cpuTime(pid) - before;

        device = std::make_unique<kestran::testing::Pty>();
        QFile::remove(link);
        const auto back = std::chrono::steady_clock::now();
        QFile::link(QString::fromStdString(device->portName()), link);
        said("Send works again");
        const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - back);
        std::printf("round %d: idle %.1f ms of CPU per 10 s, waiting for the device %.1f ms per "
                    "10 s, back to Send in %lld ms\n",
                    round, idle.count() / 1000.0, waiting.count() / 1000.0,
                    static_cast<long long>(tookMs.count()));
        kestran.kill();
        kestran.waitForFinished();
        QFile::remove(link);
    }
    return 0;
}
