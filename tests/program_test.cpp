// SPDX-License-Identifier: MIT
// KESTRAN and the simulated device as the processes a user starts.

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
#include <sys/stat.h>

namespace {

using kestran::testing::Pty;

const QString tryHelp = QStringLiteral("\nTry 'kestran --help'.\n");
const QString offscreen = QStringLiteral("-platform offscreen ");

struct Outcome {
    int status = -1;
    QString out, errors;
};

// Runs the program with the arguments, without a display unless a leading
// NAME=value gives one, as in a shell, and as the user given.
Outcome run(const QString& program, const QString& arguments, uid_t user = ::getuid())
{
    QProcess process;
    auto variables = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        variables.remove(QString::fromLatin1(name));
    QStringList words = arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString word; !words.isEmpty() && !words[0].startsWith('-') && words[0].contains('=');)
        word = words.takeFirst(), variables.insert(word.section('=', 0, 0), word.section('=', 1));
    process.setProcessEnvironment(variables);
    if (user != ::getuid()) {
        process.setChildProcessModifier([user] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)
                ::_exit(99);
        });
    }
    process.start(program, words);
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
    QTemporaryDir folder;
    const QString fifo =
        folder.filePath(QStringLiteral("log")); // opening it would wait for a reader
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    const std::vector<std::tuple<QString, int, QString, QString>> cases = {
        {"--version", 0, "KESTRAN 1.00\n", ""},
        {"--help", 0, "Usage: ", ""},
        {"--list-ports", 0, "", ""},
        {"--list-ports /dev/ttyS0", 2, "", "kestran: --list-ports takes no port, got /dev/ttyS0"},
        {"--bogus", 2, "", "kestran: Unknown option 'bogus'." + tryHelp},
        {"/dev/a /dev/b", 2, "", "kestran: one port at most, got 2" + tryHelp},
        {port, 1, "", "kestran: no display found; start KESTRAN from a desktop session.\n"},
        {"DISPLAY=:97 " + port, 1, "", "kestran: cannot reach the display \":97\"; start KESTRAN"},
        {"-platform=offscreen -style Fusion /dev/kestran-no-such-port", 1, "",
         "kestran: Cannot open the serial port /dev/kestran-no-such-port. Error 2: "
         "/dev/kestran-no-such-port does not exist."},
        {offscreen + "--log " + fifo + " " + port, 1, "",
         "kestran: Cannot open the log " + fifo + ": it is not a regular file."}};
    for (const auto& [arguments, status, out, errors] : cases) {
        SCOPED_TRACE(arguments.toStdString());
        expectOutcome(run(QStringLiteral(KESTRAN_BINARY), arguments), status, out, errors);
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
    QTemporaryDir folder; // one every user may enter, removed however the test ends
    ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
    // Another user must be able to run the program, wherever this build is.
    const QString program = folder.filePath(QStringLiteral("kestran"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRAN_BINARY), program));
    const QString port = QString::fromStdString(pty.portName());
    ::chown(pty.portName().c_str(), -1, ::getgrnam("dialout")->gr_gid); // a group not nobody's
    ::chmod(pty.portName().c_str(), 0660);
    const auto lockOf = [&](const QString& link, const char* content, mode_t mode) {
        QFile::link(port, folder.filePath(link));
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
    QFile comm(QStringLiteral("/proc/1/comm"));
    const QString init = comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QString();
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
        {folder.filePath("stale-" + id), "which names no running program. If no other program "
                                         "uses the port, remove it with: sudo rm " +
                                             stale},
        {folder.filePath("unreadable-" + id), "a lock file of root that you may not read"},
        {folder.filePath("live-" + id), "is in use by " + init + " (process 1)."}};
    for (const auto& [name, errors] : cases) {
        SCOPED_TRACE(name.toStdString());
        expectOutcome(run(program, offscreen + name, 65534), 1, "", errors); // as nobody
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
                  {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                   QStringLiteral("--log"), log, QString::fromStdString(pty.portName())});
    // What comes before the port is open is not part of the session: Qt 6.8
    // drops it on opening.
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(kestran.processId()));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QStringList open = descriptors.entryList(QDir::System | QDir::NoDotAndDotDot);
        return std::any_of(open.cbegin(), open.cend(), [&](const QString& fd) {
            return QFile::symLinkTarget(descriptors.filePath(fd)).toStdString() == pty.portName();
        });
    }));
    std::string sent;
    for (int i = 0; sent.size() < (1 << 20); ++i) {
        const std::string chunk =
            "\002row " + std::to_string(i) + "\r\n" + std::string(i % 3000, '\xFF');
        pty.write(chunk);
        sent += chunk;
    }
    ::kill(static_cast<pid_t>(kestran.processId()), SIGKILL);
    ASSERT_TRUE(kestran.waitForFinished(5000));
    QFile::remove(QStringLiteral("/run/lock/LCK..") +
                  QString::fromStdString(pty.portName().substr(9)));
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

// The port is released on the way out, its lock file included.
TEST(Program, EndsCleanlyOnSignals)
{
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        Pty pty;
        const QString lockFile =
            QStringLiteral("/run/lock/LCK..") + QString::fromStdString(pty.portName().substr(9));
        QProcess kestran;
        kestran.start(QStringLiteral(KESTRAN_BINARY),
                      {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QString::fromStdString(pty.portName())});
        ASSERT_TRUE(QTest::qWaitFor([&] { // its own, not one a killed program left
            QFile held(lockFile);
            return held.open(QIODevice::ReadOnly) &&
                   held.readAll().trimmed().toLongLong() == kestran.processId();
        }));
        ::kill(static_cast<pid_t>(kestran.processId()), number);
        ASSERT_TRUE(kestran.waitForFinished(5000));
        EXPECT_EQ(kestran.exitCode(), 128 + number);
        EXPECT_FALSE(QFile::exists(lockFile));
    }
}

// The device that ./run starts: it names its port on the first line and
// echoes frames, however they come in pieces; answers that nobody reads wait up to 1 MiB, the rest
// is dropped and counted.
TEST(SimulatedDevice, NamesItsPortEchoesFramesAndBoundsWhatWaits)
{
    QProcess device;
    device.start(QStringLiteral(KESTRAN_DEVICE_BINARY), {});
    ASSERT_TRUE(device.waitForReadyRead(10000));
    const int line = ::open(device.readLine().trimmed().constData(), O_RDWR | O_NOCTTY);
    const std::string asked = "\00201DRS,02,0001\r\n";
    for (const std::string piece : {"zz\002lo", "st\00201DRS", ",02,0001\r", "\n"}) {
        ASSERT_EQ(::write(line, piece.data(), piece.size()), ssize_t(piece.size()));
        QTest::qWait(20); // each piece a read of its own, a broken frame before
    }
    char echo[64] = {};
    EXPECT_EQ(::read(line, echo, sizeof echo), ssize_t(asked.size())); // the pty is raw: one read
    EXPECT_EQ(echo, asked);
    const std::string frame = "\002" + std::string(1000, 'x') + "\r";
    for (int i = 0; i < 2000; ++i) // 2 MB of answers, none of them read
        EXPECT_EQ(::write(line, frame.data(), frame.size()), ssize_t(frame.size()));
    QTest::qWait(500);
    ::close(line);
    device.terminate();
    EXPECT_TRUE(device.waitForFinished(5000));
    EXPECT_EQ(device.exitCode(), 0) << "stops cleanly when asked";
    const auto dropped =
        QString::fromLocal8Bit(device.readAllStandardError()).section(' ', 1, 1).toLong();
    EXPECT_GT(dropped, 2000 * 1003 - (1 << 20) - (1 << 17))
        << "dropped beyond 1 MiB and the line's own room";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
