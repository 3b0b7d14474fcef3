// SPDX-License-Identifier: MIT
// KESTRAN and the simulated device as the processes a user starts, with the
// test playing the device or the terminal at the other end.

#include "serial/qtserialport.h"
#include "support/pty.h"
#include "support/pump.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using kestran::testing::Pty;
using kestran::testing::pumpUntil;

struct Ended {
    int status;
    QString out;
    QString errors;
};

// Runs kestran to its end, without a display, as root or as nobody.
Ended kestran(const QStringList& arguments, bool asNobody = false)
{
    QProcess process;
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    if (asNobody) {
        process.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
    }
    process.start(QStringLiteral(KESTRAN_BINARY), arguments);
    process.waitForFinished(10000);
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(Program, FollowsTheCommandLineConventions)
{
    Pty pty;
    const QString port = QString::fromStdString(pty.portName());
    const QString stale = QStringLiteral("/run/lock/LCK..kestran-test-stale");
    const long gone = [] {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        ::waitpid(child, nullptr, 0);
        return long(child);
    }();
    std::ofstream(stale.toStdString()) << gone << "\n";
    QFile::link(port, QStringLiteral("/dev/kestran-test-stale"));
    struct stat device {};
    ::stat(pty.portName().c_str(), &device);
    const QString group = QString::fromLocal8Bit(::getgrgid(device.st_gid)->gr_name);
    const QString tryHelp = QStringLiteral("\nTry 'kestran --help'.\n");
    struct Case {
        QStringList arguments;
        bool asNobody;
        int status;
        QString out;    // the start of standard output
        QString errors; // part of standard error
    };
    const std::vector<Case> cases = {
        {{"--version"}, false, 0, "KESTRAN 1.00\n", ""},
        {{"--help"}, false, 0, "Usage: ", ""},
        {{"--list-ports"}, false, 0, "", ""},
        {{"--bogus"}, false, 2, "", "kestran: Unknown option 'bogus'." + tryHelp},
        {{"/dev/a", "/dev/b"}, false, 2, "", "kestran: one port at most, got 2" + tryHelp},
        {{port}, false, 1, "", "kestran: no display found; start KESTRAN from a desktop session.\n"},
        {{"-platform", "offscreen", "/dev/kestran-no-such-port"}, false, 1, "",
         "kestran: Cannot open the serial port /dev/kestran-no-such-port. Error 1: "
         "/dev/kestran-no-such-port does not exist."},
        {{"-platform", "offscreen", port}, true, 1, "",
         QStringLiteral("it belongs to the group %1, and you are not in it. Join the group with: "
                        "sudo usermod -aG %1 $USER")
             .arg(group)},
        {{"-platform", "offscreen", "/dev/kestran-test-stale"}, true, 1, "",
         "remove it with: sudo rm " + stale},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const Ended run = kestran(c.arguments, c.asNobody);
        EXPECT_EQ(run.status, c.status) << run.errors.toStdString();
        EXPECT_EQ(run.out.left(c.out.size()), c.out);
        EXPECT_TRUE(run.errors.contains(c.errors)) << run.errors.toStdString();
    }
    QFile::remove(QStringLiteral("/dev/kestran-test-stale"));
    EXPECT_TRUE(QFile::remove(stale)) << "a lock file nobody may remove stays";
}

// The port is released on the way out, its lock file included.
TEST(Program, EndsCleanlyOnSignals)
{
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        Pty pty;
        const QString lockFile = QStringLiteral("/run/lock/LCK..") +
                                 QString::fromStdString(pty.portName().substr(5)).replace('/', '_');
        QProcess process;
        process.start(QStringLiteral(KESTRAN_BINARY),
                      {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QString::fromStdString(pty.portName())});
        ASSERT_TRUE(pumpUntil([&] { return QFile::exists(lockFile); }));
        ::kill(static_cast<pid_t>(process.processId()), number);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 128 + number);
        EXPECT_FALSE(QFile::exists(lockFile));
    }
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
