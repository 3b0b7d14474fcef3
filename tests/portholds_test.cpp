// SPDX-License-Identifier: MIT
// Who holds the port, and what the operator is told when it cannot be
// opened: other programs' holds read as hostile input, and every message.

#include "serial/portmessages.h"
#include "serial/portmessages_unix.h"
#include "serialtests.h"
#include "support/pty.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace kestran::serial {
namespace {

using terminal::PortFault;
using testing::Pty;

// Another program's hold by whatever lies under a lock file name (the
// device's or the link's), read as hostile input: honoured, said as it
// is, left alone, in little memory. A dead program's lock file is
// taken over, and the port held the same way.
TEST(SerialPort, HonoursEveryHoldOnThePortAndHoldsItTheSameWay)
{
    Pty pty;
    QTemporaryDir links;
    const std::string name =
        "usb-serial-test-" + std::to_string(::getpid()); // apart from other runs
    const std::string link = links.filePath(qs(name)).toStdString();
    ASSERT_EQ(::symlink(pty.portName().c_str(), link.c_str()), 0);
    const std::string number = pty.portName().substr(9); // after "/dev/pts/"
    testing::OtherProcess live(pty.portName(), false);
    const std::string pid = std::to_string(live.pid());
    const std::string holder = "is in use by serial_test (process " + pid + ")";
    const std::string noProcess = "which names no running program";
    const std::string notAFile = "which is not a lock file but something else in its place";
    enum Make { text, fifo, symlink, sparse };
    const std::vector<std::tuple<std::string, Make, std::string, std::string>> cases = {
        {"LCK.." + number, text, std::string(10 - pid.size(), ' ') + pid + "\n", holder},
        {"LCK..pts_" + number, text, pid + "\nminicom\nhost\n", holder},
        {"LCK.." + name, text, pid + "\n", holder},
        {"LCK.." + name, text, "garbage\n", noProcess},
        {"LCK.." + number, text, "4294967297\n", noProcess},
        {"LCK.." + number, text, std::string(1 << 16, '9'), noProcess},
        {"LCK.." + number, sparse, "", noProcess},
        {"LCK.." + number, fifo, "", notAFile},
        {"LCK.." + number, symlink, "", notAFile},
        {"LCK.." + number, text, "99999999\n", ""}}; // above any PID the kernel hands out
    for (const auto& [file, make, content, says] : cases) {
        const std::string lockFile = "/run/lock/" + file;
        SCOPED_TRACE(lockFile + " " + content.substr(0, 20));
        const std::shared_ptr<void> removed(nullptr, [&](void*) { std::remove(lockFile.c_str()); });
        if (make == text)
            std::ofstream(lockFile) << content;
        const int made = make == fifo      ? ::mkfifo(lockFile.c_str(), 0644)
                         : make == symlink ? ::symlink("/etc/passwd", lockFile.c_str())
                         : make == sparse
                             ? (std::ofstream{lockFile}, ::truncate(lockFile.c_str(), 1L << 30))
                             : 0;
        ASSERT_EQ(made, 0);
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        SerialLine port(qs(link), nullptr, noIdentity);
        const bool opened = port.openPort();
        ::getrusage(RUSAGE_SELF, &after);
        EXPECT_TRUE(make != sparse || after.ru_maxrss - before.ru_maxrss < 1024) << "KiB";
        struct stat left {};
        std::ifstream leftFile(make == text ? lockFile : "/dev/null"); // a FIFO would block
        const std::string leftContent{std::istreambuf_iterator<char>(leftFile), {}};
        if (!says.empty()) {
            ASSERT_FALSE(opened);
            EXPECT_EQ(port.lastError().fault, PortFault::busy);
            EXPECT_EQ(port.lastError().text.rfind(link, 0), 0u) << port.lastError().text;
            EXPECT_NE(port.lastError().text.find(says), std::string::npos) << port.lastError().text;
            EXPECT_TRUE(make != text || leftContent == content) << "another's lock file stays";
        } else {
            ASSERT_TRUE(opened) << port.lastError().text;
            const std::string ours = std::string(10 - std::to_string(::getpid()).size(), ' ') +
                                     std::to_string(::getpid()) + "\n";
            for (const std::string& held : {lockFile, "/run/lock/LCK.." + name}) {
                std::ifstream in(held); // the dead program's lock file taken over, and the link's
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), ours) << held;
                EXPECT_EQ((::stat(held.c_str(), &left), left.st_mode & 0777), 0644u) << held;
            }
            const int probe = ::open(pty.portName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0) << "our own flock";
            ::close(probe);
            // Another's lock file takes our lock file's place: it stays at the end.
            std::remove(lockFile.c_str());
            std::ofstream(lockFile) << "1\n";
            port.release();
            EXPECT_TRUE(QFile::exists(qs(lockFile)) &&
                        !QFile::exists(qs("/run/lock/LCK.." + name)));
        }
    }
}

// Each message as the operator reads it, with its number; every case is
// put to the message itself, whatever this machine has.
TEST(SerialPort, SaysWhatIsWrongAndWhatToDo)
{
    Pty pty;
    SerialLine first(qs(pty.portName()), nullptr, noIdentity);
    ASSERT_TRUE(first.openPort());
    const std::string ours = "serial_test (process " + std::to_string(::getpid()) + ")";
    const std::vector<std::tuple<std::string, PortFault, std::string>> cases = {
        {"", PortFault::noName, "No port was named. Name one, for example: kestran /dev/ttyUSB0"},
        {std::string(5000, 'x'), PortFault::noName,
         "The port name is too long to be a device on this computer."},
        {"/dev/kestran-no-such-port", PortFault::missing,
         "/dev/kestran-no-such-port does not exist. Is the device plugged in?\n"},
        {"/dev", PortFault::notASerialPort, "/dev is not a serial port. kestran --list-ports"},
        {"/dev/null", PortFault::notASerialPort,
         "/dev/null is not a serial port but a device of the kind \"mem\"."},
        {"/dev/ptmx", PortFault::notASerialPort,
         "/dev/ptmx is not a serial port: opening it makes a new pseudo-terminal."},
        {"/dev/tty", PortFault::notASerialPort,
         "/dev/tty is not a serial port: it stands for the terminal"},
        {pty.portName(), PortFault::busy, pty.portName() + " is in use by " + ours + "."}};
    for (const auto& [name, fault, text] : cases) {
        SerialLine port(qs(name), nullptr, noIdentity);
        ASSERT_FALSE(port.openPort()) << name;
        EXPECT_EQ(port.lastError().fault, fault) << name;
        EXPECT_EQ(port.lastError().text.substr(0, text.size()), text);
        EXPECT_FALSE(port.portOpen());
    }
    const std::vector<PortListing> ports = {{"/dev/ttyUSB0", {"FT232R", "serial number A5"}},
                                            {"/dev/ttyS0", {}}};
    EXPECT_EQ(missingPort("/dev/x", ports),
              "/dev/x does not exist. Is the device plugged in?\nSerial ports on this computer:\n"
              "/dev/ttyUSB0  (FT232R, serial number A5)\n/dev/ttyS0\nStart KESTRAN on one of "
              "them, for example: kestran /dev/ttyUSB0");
    EXPECT_EQ(missingPort("/dev/x", {}), "/dev/x does not exist. Is the device plugged in?\nNo "
                                         "serial ports were found on this computer.");
    // Advice for a device this user may not use: to join a group only where
    // that helps, and never root's or tty's.
    const QString join = QStringLiteral("Join the group with: sudo usermod -aG dialout $USER");
    const QString relog = QStringLiteral("you are in the group dialout, but this session began");
    const QString rule = QStringLiteral("which does not let you read and write it. Ask an "
                                        "administrator for a udev rule");
    // Group, its mode bits, whether the user is listed in it and has it now.
    const std::vector<std::tuple<QString, gid_t, mode_t, bool, bool, QString>> advice = {
        {"dialout", 20, 0660, false, false, join},
        {"dialout", 20, 0660, true, false, relog},
        {"dialout", 20, 0640, false, false, "root:dialout with mode 0640 (crw-r-----), " + rule},
        {"dialout", 20, 0660, true, true, rule},
        {"root", 0, 0660, false, false, rule},
        {"tty", 5, 0620, false, false, rule}};
    for (const auto& [group, gid, mode, listed, now, says] : advice) {
        const Access access{0, gid, mode, "root", group, now, listed};
        const QString text = permissionDenied(QStringLiteral("/dev/ttyUSB0"), access);
        EXPECT_TRUE(text.contains(says)) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("-aG root")) || text.contains("-aG tty"));
    }
}

} // namespace
} // namespace kestran::serial
