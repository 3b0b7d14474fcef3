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

// The device that ./run starts: it names its port on the first line and echoes frames.
TEST(SimulatedDevice, NamesItsPortAndEchoesFrames)
{
    QProcess device;
    device.start(QStringLiteral(KESTRAN_DEVICE_BINARY), {});
    ASSERT_TRUE(device.waitForReadyRead(10000));
    const QString portName = QString::fromLocal8Bit(device.readLine()).trimmed();
    kestran::serial::QtSerialPort port(portName);
    ASSERT_FALSE(port.openPort()) << portName.toStdString();
    std::string received;
    QObject::connect(&port, &kestran::serial::QtSerialPort::onComm,
                     [&] { received += port.input(); });
    const std::string frame = "\00201DRS,02,0001\r\n";
    port.output(frame);
    EXPECT_TRUE(pumpUntil([&] { return received.size() >= frame.size(); }, 5s));
    EXPECT_EQ(received, frame);
    device.terminate();
    EXPECT_TRUE(device.waitForFinished(5000));
    EXPECT_EQ(device.exitCode(), 0) << "stops cleanly when asked";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
