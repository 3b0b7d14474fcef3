// SPDX-License-Identifier: MIT
// KESTRAN and the simulated device as the processes a user starts.

#include "serial/qtserialport.h"
#include "simulator/pseudoterminal.h"

#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Pty = kestran::simulator::PseudoTerminal;

// The command line as Linux users know it, and the messages of a port that
// cannot be opened, with no display, as root and as a user without rights.
TEST(Program, FollowsTheCommandLineConventions)
{
    Pty pty;
    const QString port = QString::fromStdString(pty.portName());
    struct stat device {};
    ::chown(pty.portName().c_str(), -1, ::getgrnam("dialout")->gr_gid); // a group not ours
    ::stat(pty.portName().c_str(), &device);
    const QString group = QString::fromLocal8Bit(::getgrgid(device.st_gid)->gr_name);
    // A dead program's lock file (no PID is that high) that only root may remove.
    const QString link = QStringLiteral("/dev/kestran-test-%1").arg(::getpid());
    const QString stale = "/run/lock/LCK.." + link.mid(5);
    std::ofstream(stale.toStdString()) << "99999999\n";
    QFile::link(port, link);
    const QString tryHelp = QStringLiteral("\nTry 'kestran --help'.\n");
    const QString offscreen = QStringLiteral("-platform offscreen ");
    const std::vector<std::tuple<QString, bool, int, QString, QString>> cases = {
        {"--version", false, 0, "KESTRAN 1.00\n", ""},
        {"--help", false, 0, "Usage: ", ""},
        {"--list-ports", false, 0, "", ""},
        {"--bogus", false, 2, "", "kestran: Unknown option 'bogus'." + tryHelp},
        {"/dev/a /dev/b", false, 2, "", "kestran: one port at most, got 2" + tryHelp},
        {port, false, 1, "", "kestran: no display found; start KESTRAN from a desktop session.\n"},
        {offscreen + "/dev/kestran-no-such-port", false, 1, "",
         "kestran: Cannot open the serial port /dev/kestran-no-such-port. Error 1: "
         "/dev/kestran-no-such-port does not exist."},
        {offscreen + port, true, 1, "",
         QStringLiteral("it belongs to the group %1, and you are not in it. Join the group with: "
                        "sudo usermod -aG %1 $USER")
             .arg(group)},
        {offscreen + link, true, 1, "", "remove it with: sudo rm " + stale}};
    for (const auto& [arguments, asNobody, status, out, errors] : cases) {
        SCOPED_TRACE(arguments.toStdString());
        QProcess kestran;
        auto environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        kestran.setProcessEnvironment(environment);
        if (asNobody) {
            kestran.setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
        }
        kestran.start(QStringLiteral(KESTRAN_BINARY), arguments.split(QLatin1Char(' ')));
        ASSERT_TRUE(kestran.waitForFinished(10000));
        const QString said = QString::fromLocal8Bit(kestran.readAllStandardError());
        EXPECT_EQ(kestran.exitCode(), status) << said.toStdString();
        EXPECT_EQ(kestran.readAllStandardOutput().left(out.size()).toStdString(),
                  out.toStdString());
        EXPECT_TRUE(said.contains(errors)) << said.toStdString();
    }
    QFile::remove(link);
    EXPECT_TRUE(QFile::remove(stale)) << "a lock file nobody may remove stays";
}

// The port is released on the way out, its lock file included.
TEST(Program, EndsCleanlyOnSignals)
{
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        Pty pty;
        const QString lockFile = QStringLiteral("/run/lock/LCK..pts_") +
                                 QString::fromStdString(pty.portName().substr(9));
        QProcess kestran;
        kestran.start(QStringLiteral(KESTRAN_BINARY),
                      {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QString::fromStdString(pty.portName())});
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(lockFile); }));
        ::kill(static_cast<pid_t>(kestran.processId()), number);
        ASSERT_TRUE(kestran.waitForFinished(5000));
        EXPECT_EQ(kestran.exitCode(), 128 + number);
        EXPECT_FALSE(QFile::exists(lockFile));
    }
}

// The device that ./run starts: it names its port on the first line and echoes frames.
TEST(SimulatedDevice, NamesItsPortAndEchoesFrames)
{
    QProcess device;
    device.start(QStringLiteral(KESTRAN_DEVICE_BINARY), {});
    ASSERT_TRUE(device.waitForReadyRead(10000));
    kestran::serial::QtSerialPort port(QString::fromLocal8Bit(device.readLine()).trimmed());
    ASSERT_FALSE(port.openPort());
    std::string received;
    QObject::connect(&port, &kestran::serial::QtSerialPort::onComm,
                     [&] { received += port.input(); });
    port.output("\00201DRS,02,0001\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= 16; }));
    EXPECT_EQ(received, "\00201DRS,02,0001\r\n");
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
