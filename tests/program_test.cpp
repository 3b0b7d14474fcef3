// SPDX-License-Identifier: MIT
// KESTRAN and the simulated device as the processes a user starts.

#include "serial/qtserialport.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

using kestran::testing::Pty;

const QString tryHelp = QStringLiteral("\nTry 'kestran --help'.\n");
const QString offscreen = QStringLiteral("-platform offscreen ");
constexpr uid_t nobody = 65534;

// A folder every user may enter, removed with all it holds at the end,
// however the test ends.
struct OpenFolder {
    QTemporaryDir dir;
    OpenFolder() { ::chmod(QFile::encodeName(dir.path()).constData(), 0755); }
    QString path(const QString& name) const { return dir.filePath(name); }
};

struct Outcome {
    int status = -1;
    QString out, errors;
};

// Runs the program with the arguments, without a display unless asked,
// and as the user given.
Outcome run(const QString& program, const QString& arguments, uid_t user = ::getuid(),
            const QStringList& environment = {})
{
    QProcess process;
    auto variables = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        variables.remove(QString::fromLatin1(name));
    for (const QString& variable : environment)
        variables.insert(variable.section(QLatin1Char('='), 0, 0), variable.section('=', 1));
    process.setProcessEnvironment(variables);
    if (user != ::getuid()) {
        process.setChildProcessModifier([user] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)
                ::_exit(99);
        });
    }
    process.start(program, arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    if (!process.waitForFinished(10000))
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

void expectOutcome(const Outcome& got, int status, const QString& out, const QString& errors)
{
    EXPECT_EQ(got.status, status) << got.errors.toStdString();
    EXPECT_EQ(got.out.left(out.size()).toStdString(), out.toStdString());
    EXPECT_TRUE(got.errors.contains(errors)) << got.errors.toStdString();
    const QRegularExpression ours(QStringLiteral("^kestran: "),
                                  QRegularExpression::MultilineOption);
    EXPECT_EQ(got.errors.count(ours), status == 0 ? 0 : 1)
        << "one line says it: " << got.errors.toStdString();
}

// The command line as Linux users know it, and what ends the start.
TEST(Program, FollowsTheCommandLineConventions)
{
    Pty pty;
    const QString port = QString::fromStdString(pty.portName());
    const std::vector<std::tuple<QString, QStringList, int, QString, QString>> cases = {
        {"--version", {}, 0, "KESTRAN 1.00\n", ""},
        {"--help", {}, 0, "Usage: ", ""},
        {"--list-ports", {}, 0, "", ""},
        {"--list-ports /dev/ttyS0", {}, 2, "", "kestran: --list-ports takes no port, got /dev/ttyS0"},
        {"--bogus", {}, 2, "", "kestran: Unknown option 'bogus'." + tryHelp},
        {"/dev/a /dev/b", {}, 2, "", "kestran: one port at most, got 2" + tryHelp},
        {port, {}, 1, "", "kestran: no display found; start KESTRAN from a desktop session.\n"},
        {port, {"DISPLAY=:97"}, 1, "", "kestran: cannot reach the display \":97\"; start KESTRAN"},
        {"-platform=offscreen -style Fusion /dev/kestran-no-such-port", {}, 1, "",
         "kestran: Cannot open the serial port /dev/kestran-no-such-port. Error 2: "
         "/dev/kestran-no-such-port does not exist."},
        {offscreen + "--log /proc/kestran " + port, {}, 1, "",
         "kestran: Cannot open the log /proc/kestran: "}};
    for (const auto& [arguments, environment, status, out, errors] : cases) {
        SCOPED_TRACE(arguments.toStdString());
        expectOutcome(run(QStringLiteral(KESTRAN_BINARY), arguments, ::getuid(), environment),
                      status, out, errors);
    }
}

// The messages of a port that cannot be opened, to a user without rights:
// the advice to join the device's group, another user's lock file that is
// stale or unreadable, and another user's live program.
TEST(Program, TellsAnOrdinaryUserWhatHoldsThePort)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "runs as root only: its cases run KESTRAN as the user nobody";
    Pty pty;
    OpenFolder folder;
    // Another user must be able to run the program, wherever this build is.
    const QString program = folder.path(QStringLiteral("kestran"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRAN_BINARY), program));
    const QString port = QString::fromStdString(pty.portName());
    ::chown(pty.portName().c_str(), -1, ::getgrnam("dialout")->gr_gid); // a group not nobody's
    ::chmod(pty.portName().c_str(), 0660);
    const auto lockOf = [&](const QString& link, const char* content, mode_t mode) {
        QFile::link(port, folder.path(link));
        const QString file = "/run/lock/LCK.." + link;
        std::ofstream(file.toStdString()) << content;
        ::chmod(QFile::encodeName(file).constData(), mode);
        return file;
    };
    const QString id = QString::number(::getpid());
    const QString stale = lockOf("stale-" + id, "99999999\n", 0644);
    const QString unreadable = lockOf("unreadable-" + id, "1\n", 0600);
    const QString live = lockOf("live-" + id, "1\n", 0644);
    const std::shared_ptr<void> removed(nullptr, [&](void*) {
        for (const QString& file : {stale, unreadable, live})
            QFile::remove(file);
    });
    const QString init = QString::fromStdString(kestran::serial::commandOf(1));
    // A port anyone may open, but that a program of root's holds by flock:
    // only /proc/locks can tell this user who that is.
    Pty open;
    ::chmod(open.portName().c_str(), 0666);
    kestran::testing::OtherProcess flocking(open.portName());
    const std::vector<std::pair<QString, QString>> cases = {
        {QString::fromStdString(open.portName()),
         QStringLiteral("is in use by program_test (process %1).").arg(flocking.pid())},
        {port, "it belongs to the group dialout, and you are not in it. Join the group with: "
               "sudo usermod -aG dialout $USER"},
        {folder.path("stale-" + id), "which names no running program. If no other program "
                                     "uses the port, remove it with: sudo rm " + stale},
        {folder.path("unreadable-" + id), "a lock file of root that you may not read"},
        {folder.path("live-" + id), "is in use by " + init + " (process 1)."}};
    for (const auto& [name, errors] : cases) {
        SCOPED_TRACE(name.toStdString());
        expectOutcome(run(program, offscreen + name, nobody), 1, "", errors);
    }
    EXPECT_TRUE(QFile::exists(stale)) << "a lock file nobody may remove stays";
}

// A kill loses at most the entry being written: every entry before it is
// whole, and what the log says came is what the device sent.
TEST(Program, LeavesAWholeLogWhenKilled)
{
    Pty pty;
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("session.log"));
    QProcess kestran;
    kestran.start(QStringLiteral(KESTRAN_BINARY),
                  {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--log"),
                   log, QString::fromStdString(pty.portName())});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile(log).size() > 0; }));
    std::string sent;
    for (int i = 0; sent.size() < (1 << 20); ++i) {
        const std::string chunk = "\002row " + std::to_string(i) + "\r\n" + std::string(i % 3000, '\xFF');
        pty.write(chunk);
        sent += chunk;
    }
    ::kill(static_cast<pid_t>(kestran.processId()), SIGKILL);
    ASSERT_TRUE(kestran.waitForFinished(5000));
    QFile::remove(QStringLiteral("/run/lock/LCK..") + QString::fromStdString(pty.portName().substr(9)));
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeLast(); // empty after the last newline, or the entry being written
    const QRegularExpression entry(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d (-|\+\d+\.\d) (start|read|row) .*$)"));
    for (const QByteArray& line : std::as_const(lines))
        ASSERT_TRUE(entry.match(QString::fromLatin1(line)).hasMatch()) << line.toStdString();
    QProcess tool;
    tool.start(QStringLiteral(KESTRAN_SOURCE "/tools/log-bytes"), {QStringLiteral("read"), log});
    ASSERT_TRUE(tool.waitForFinished());
    const QByteArray read = tool.readAllStandardOutput();
    EXPECT_GT(read.size(), 1000);
    EXPECT_EQ(read.toStdString(), sent.substr(0, static_cast<std::size_t>(read.size())));
}

// The port is released on the way out, its lock file included; a signal
// that comes while the start-up message waits ends the program the same way.
TEST(Program, EndsCleanlyOnSignals)
{
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                        QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                        QStringLiteral("-noreset")});
    ASSERT_TRUE(xvfb.waitForReadyRead(10000));
    const QString display = ":" + QString::fromLatin1(xvfb.readAllStandardOutput()).trimmed();
    ASSERT_TRUE(QTest::qWaitFor([&] { // Xvfb names its display a little before it takes connections
        sockaddr_un x{AF_UNIX, {}};
        std::snprintf(x.sun_path, sizeof x.sun_path, "/tmp/.X11-unix/X%s", qPrintable(display.mid(1)));
        const int probe = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool up = ::connect(probe, reinterpret_cast<sockaddr*>(&x), sizeof x) == 0;
        ::close(probe);
        return up;
    }));
    QProcess waiting;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    waiting.setProcessEnvironment(environment);
    waiting.start(QStringLiteral(KESTRAN_BINARY), {QStringLiteral("/dev/kestran-no-such-port")});
    waiting.setReadChannel(QProcess::StandardError);
    ASSERT_TRUE(waiting.waitForReadyRead(10000)); // the message is out, its box up
    QTest::qWait(300);
    ::kill(static_cast<pid_t>(waiting.processId()), SIGTERM);
    ASSERT_TRUE(waiting.waitForFinished(5000));
    EXPECT_EQ(waiting.exitCode(), 128 + SIGTERM);
    xvfb.terminate();
    xvfb.waitForFinished();
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        Pty pty;
        const QString lockFile = QStringLiteral("/run/lock/LCK..") +
                                 QString::fromStdString(pty.portName().substr(9));
        QProcess kestran;
        kestran.start(QStringLiteral(KESTRAN_BINARY),
                      {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QString::fromStdString(pty.portName())});
        ASSERT_TRUE(QTest::qWaitFor([&] { // its own, not one a killed program left
            QFile held(lockFile);
            return held.open(QIODevice::ReadOnly) && held.readAll().trimmed().toLongLong() == kestran.processId();
        }));
        ::kill(static_cast<pid_t>(kestran.processId()), number);
        ASSERT_TRUE(kestran.waitForFinished(5000));
        EXPECT_EQ(kestran.exitCode(), 128 + number);
        EXPECT_FALSE(QFile::exists(lockFile));
    }
}

// The device that ./run starts: it names its port on the first line and
// echoes frames; answers that nobody reads wait up to 1 MiB, the rest is
// dropped and counted.
TEST(SimulatedDevice, NamesItsPortEchoesFramesAndBoundsWhatWaits)
{
    QProcess device;
    device.start(QStringLiteral(KESTRAN_DEVICE_BINARY), {});
    ASSERT_TRUE(device.waitForReadyRead(10000));
    const QString name = QString::fromLocal8Bit(device.readLine()).trimmed();
    kestran::serial::QtSerialPort port(name);
    ASSERT_TRUE(port.openPort());
    std::string received;
    QObject::connect(&port, &kestran::serial::QtSerialPort::onComm,
                     [&] { received += port.input(); });
    port.output("\00201DRS,02,0001\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= 16; }));
    EXPECT_EQ(received, "\00201DRS,02,0001\r\n");
    port.release();
    const int line = ::open(name.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    const std::string frame = "\002" + std::string(1000, 'x') + "\r";
    for (int i = 0; i < 2000; ++i) // 2 MB of answers, none of them read
        EXPECT_EQ(::write(line, frame.data(), frame.size()), ssize_t(frame.size()));
    QTest::qWait(500);
    ::close(line);
    device.terminate();
    EXPECT_TRUE(device.waitForFinished(5000));
    EXPECT_EQ(device.exitCode(), 0) << "stops cleanly when asked";
    const auto dropped = QString::fromLocal8Bit(device.readAllStandardError()).section(' ', 1, 1).toLong();
    EXPECT_GT(dropped, 2000 * 1003 - (1 << 20) - (1 << 17)) << "dropped beyond 1 MiB and the line's own room";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
