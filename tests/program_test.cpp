// KESTRAN and the simulated device as the processes a user starts, with the
// test playing the device or the terminal at the other end.

#include "serial/qtserialport.h"
#include "support/pty.h"
#include "support/pump.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using kestran::testing::Pty;
using kestran::testing::pumpUntil;

QProcessEnvironment headlessEnvironment()
{
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

struct Kestran {
    QProcess process;
    QString errors;

    explicit Kestran(const QStringList& arguments,
                     const QProcessEnvironment& environment = headlessEnvironment())
    {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KESTRAN_BINARY), arguments);
    }
    ~Kestran()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QString readErrors()
    {
        errors += QString::fromLocal8Bit(process.readAllStandardError());
        return errors;
    }
    // Whether the process holds the named file open.
    bool holds(const std::string& path) const
    {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(process.processId()));
        for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::System)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == QString::fromStdString(path))
                return true;
        }
        return false;
    }
    // CPU time (user + system) the process has used so far.
    std::chrono::milliseconds cpuTime() const
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return {};
        const QByteArray text = stat.readAll();
        // Fields after the command name, which is in parentheses and may hold spaces.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        const long ticks = fields.value(11).toLong() + fields.value(12).toLong();
        return std::chrono::milliseconds(ticks * 1000 / ::sysconf(_SC_CLK_TCK));
    }
};

TEST(Program, VersionAndHelpNeedNoDisplay)
{
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));

    Kestran version({QStringLiteral("--version")}, environment);
    ASSERT_TRUE(version.process.waitForFinished(10000));
    EXPECT_EQ(version.process.exitCode(), 0);
    EXPECT_EQ(version.process.readAllStandardOutput().trimmed(), QByteArray("KESTRAN 1.00"));

    Kestran help({QStringLiteral("--help")}, environment);
    ASSERT_TRUE(help.process.waitForFinished(10000));
    EXPECT_EQ(help.process.exitCode(), 0);
    EXPECT_TRUE(help.process.readAllStandardOutput().contains("PORT"));

    Kestran tooMany({QStringLiteral("/dev/a"), QStringLiteral("/dev/b")}, environment);
    ASSERT_TRUE(tooMany.process.waitForFinished(10000));
    EXPECT_NE(tooMany.process.exitCode(), 0);
}

TEST(Program, MissingPortShowsTheErrorAndExitsNonZero)
{
    Kestran kestran({QStringLiteral("/dev/kestran-no-such-port")});
    ASSERT_TRUE(kestran.process.waitForFinished(10000));
    EXPECT_EQ(kestran.process.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(kestran.process.exitCode(), 0);
    const QString errors = kestran.readErrors();
    EXPECT_TRUE(
        errors.contains(QStringLiteral("Cannot open the serial port /dev/kestran-no-such-port")))
        << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("Error "))) << errors.toStdString();
}

TEST(Program, IdleWithThePortOpenCostsNoCpu)
{
    Pty device;
    Kestran kestran({QString::fromStdString(device.portName())});
    ASSERT_TRUE(kestran.process.waitForStarted(10000));
    ASSERT_TRUE(pumpUntil([&] { return kestran.holds(device.portName()); }));
    std::this_thread::sleep_for(500ms); // start-up settles
    const auto cpuBefore = kestran.cpuTime();
    std::this_thread::sleep_for(10s);
    const auto cpuUsed = kestran.cpuTime() - cpuBefore;
    std::printf("idle for 10 s: %lld ms of CPU time\n", static_cast<long long>(cpuUsed.count()));
    EXPECT_LE(cpuUsed, 20ms);
    EXPECT_EQ(kestran.process.state(), QProcess::Running);
}

TEST(Program, LostDeviceIsReportedOnceAtLowCpu)
{
    Pty device;
    Kestran kestran({QString::fromStdString(device.portName())});
    ASSERT_TRUE(kestran.process.waitForStarted(10000));
    ASSERT_TRUE(pumpUntil([&] { return kestran.holds(device.portName()); }));

    device.closeDevice();
    ASSERT_TRUE(pumpUntil(
        [&] { return kestran.readErrors().contains(QStringLiteral("stopped working")); }));
    const auto cpuBefore = kestran.cpuTime();
    std::this_thread::sleep_for(5s);
    const auto cpuUsed = kestran.cpuTime() - cpuBefore;
    std::printf("5 s after the loss: %lld ms of CPU time\n",
                static_cast<long long>(cpuUsed.count()));

    EXPECT_EQ(kestran.process.state(), QProcess::Running) << "the window stays up";
    EXPECT_EQ(kestran.readErrors().count(QStringLiteral("stopped working")), 1)
        << kestran.errors.toStdString();
    EXPECT_LE(cpuUsed, 50ms);
    EXPECT_FALSE(kestran.holds(device.portName())) << "the port is closed";
}

TEST(SimulatedDevice, AnswersFramesAsAsked)
{
    struct Case {
        const char* name;
        QStringList options;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"echo", {}, "\00201DRS,02,0001\r\n"},
        {"pieces and twice",
         {"--pieces", "3", "--pause", "20", "--twice"},
         "\00201DRS,02,0001\r\n\00201DRS,02,0001\r\n"},
        {"fixed reply", {"--reply", "OK"}, "\002OK\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess device;
        device.start(QStringLiteral(KESTRAN_DEVICE_BINARY), c.options);
        ASSERT_TRUE(device.waitForReadyRead(10000));
        const QString portName = QString::fromLocal8Bit(device.readLine()).trimmed();
        ASSERT_TRUE(portName.startsWith(QStringLiteral("/dev/")));

        kestran::serial::QtSerialPort port(portName);
        ASSERT_FALSE(port.openPort());
        std::string received;
        QObject::connect(&port, &kestran::serial::QtSerialPort::onComm,
                         [&] { received += port.input(); });
        port.output("\00201DRS,02,0001\r\n");
        EXPECT_TRUE(pumpUntil([&] { return received.size() >= c.answer.size(); }, 5s));
        EXPECT_EQ(received, c.answer);

        device.terminate();
        EXPECT_TRUE(device.waitForFinished(5000));
        EXPECT_EQ(device.exitCode(), 0) << "stops cleanly when asked";
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
