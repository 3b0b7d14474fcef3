// What KESTRAN costs while nothing happens: a kestran process (offscreen) on a
// pseudo-terminal, idle with the port open, then after the device end closes.
// Prints the CPU time of each span, read from /proc in clock ticks.
//
//   build/bench/idle [ROUNDS]

#include "support/pty.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::chrono::milliseconds cpuTime(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const long ticks = fields.value(11).toLong() + fields.value(12).toLong();
    return std::chrono::milliseconds(ticks * 1000 / ::sysconf(_SC_CLK_TCK));
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
    for (int round = 1; round <= rounds; ++round) {
        kestran::testing::Pty device;
        QProcess kestran;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        kestran.setProcessEnvironment(environment);
        kestran.start(QStringLiteral(KESTRAN_BINARY), {QString::fromStdString(device.portName())});
        if (!kestran.waitForStarted(10000))
            return 1;
        std::this_thread::sleep_for(1s); // start-up settles
        const qint64 pid = kestran.processId();
        auto before = cpuTime(pid);
        std::this_thread::sleep_for(10s);
        const auto idle = cpuTime(pid) - before;

        device.closeDevice();
        QByteArray errors;
        waitFor([&] {
            kestran.waitForReadyRead(0);
            errors += kestran.readAllStandardError();
            return errors.contains("stopped working");
        }, 5s);
        before = cpuTime(pid);
        std::this_thread::sleep_for(10s);
        const auto lost = cpuTime(pid) - before;
        std::printf("round %d: idle %lld ms per 10 s, after the loss %lld ms per 10 s\n", round,
                    static_cast<long long>(idle.count()), static_cast<long long>(lost.count()));
        kestran.kill();
        kestran.waitForFinished();
    }
    return 0;
}
