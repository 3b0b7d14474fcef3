// SPDX-License-Identifier: MIT
// The serial layer against real pseudo-terminals, with the test playing the
// device at the other end.

#include "serial/portmessages.h"
#include "serial/qtserialport.h"
#include "support/pty.h"
#include "support/pump.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <termios.h>
#include <vector>

namespace {

// Every line setting the program asks for. A pseudo-terminal forces 8 data
// bits and no parity whatever it is asked, so reading the settings back
// cannot show a wrong parity or data size; the calls themselves can.
std::vector<termios> settingsAsked;

} // namespace

extern "C" int tcsetattr(int fd, int actions, const termios* settings)
{
    using Real = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    settingsAsked.push_back(*settings);
    return real(fd, actions, settings);
}

namespace kestran::serial {
namespace {

using namespace std::chrono_literals;
using terminal::CommEvent;
using testing::Pty;
using testing::pumpUntil;

TEST(SerialPort, OpensWithTheFixedLineSettings)
{
    Pty pty;
    QtSerialPort port(QString::fromStdString(pty.portName()));
    settingsAsked.clear();
    ASSERT_FALSE(port.openPort());
    ASSERT_FALSE(settingsAsked.empty());
    for (const termios& line : settingsAsked) {
        EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_FALSE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS));
        EXPECT_FALSE(line.c_iflag & (IXON | IXOFF));
    }
    const termios& last = settingsAsked.back();
    EXPECT_EQ(cfgetispeed(&last), speed_t(B9600));
    EXPECT_EQ(cfgetospeed(&last), speed_t(B9600));
    EXPECT_FALSE(last.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(last.c_oflag & OPOST);
    EXPECT_FALSE(last.c_lflag & (ICANON | ECHO | ISIG));
}

std::string allBytes()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

// All 256 byte values both ways, then the device hangs up: the owner hears of
// it once, and the program does not spin on the dead line.
TEST(SerialPort, CarriesEveryByteBothWaysAndReportsTheHangUpOnce)
{
    Pty pty;
    QtSerialPort port(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(port.openPort());
    std::string atProgram;
    int losses = 0;
    QObject::connect(&port, &QtSerialPort::onComm, [&] {
        if (port.commEvent() == CommEvent::comEvReceive)
            atProgram += port.input();
        if (port.commEvent() == CommEvent::comEvError) {
            ++losses;
            port.closePort();
        }
    });
    const std::string bytes = allBytes();
    port.output(bytes);
    std::string atDevice;
    ASSERT_TRUE(pumpUntil([&] {
        atDevice += pty.read(bytes.size() - atDevice.size(), 0ms);
        return atDevice.size() >= bytes.size();
    }));
    EXPECT_EQ(atDevice, bytes);
    pty.write(bytes);
    ASSERT_TRUE(pumpUntil([&] { return atProgram.size() >= bytes.size(); }));
    EXPECT_EQ(atProgram, bytes);

    pty.closeDevice();
    ASSERT_TRUE(pumpUntil([&] { return losses > 0; }));
    const auto cpuBefore = testing::processCpuTime();
    pumpUntil([] { return false; }, 500ms);
    EXPECT_LT(testing::processCpuTime() - cpuBefore, 250ms);
    EXPECT_EQ(losses, 1);
    EXPECT_FALSE(port.lastError().text.empty());
}

// A process that is gone: its PID, reaped.
long deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Another program's hold on the port, by flock or by a lock file under the
// device's name or the link's, in the formats programs write; each must be
// honoured and left as it was. A dead program's lock file is taken over.
TEST(SerialPort, HonoursEveryHoldOnThePortAndHoldsItTheSameWay)
{
    Pty pty;
    QTemporaryDir links;
    const std::string link = links.filePath(QStringLiteral("usb-device-if00")).toStdString();
    ASSERT_EQ(::symlink(pty.portName().c_str(), link.c_str()), 0);
    const std::string device = pty.portName().substr(5); // "pts/N"
    const std::string underDevice = "/run/lock/LCK.." + device.substr(4);
    const std::string underQtName = "/run/lock/LCK..pts_" + device.substr(4);
    const std::string underLink = "/run/lock/LCK..usb-device-if00";
    const std::string live = std::to_string(::getppid());
    char uucp[16];
    std::snprintf(uucp, sizeof uucp, "%10d\n", ::getppid());
    struct Case {
        std::string lockFile, content;
        bool flockHeld;
        const char* says; // empty: opens
    };
    const std::vector<Case> cases = {
        {"", "", true, "is in use by another program."},
        {underDevice, uucp, false, "is in use by "},
        {underQtName, live + "\nminicom\nhost\n", false, "is in use by "},
        {underLink, live + "\n", false, "is in use by "},
        {underLink, "garbage\n", false, "which names no running program"},
        {underDevice, std::to_string(deadPid()) + "\n", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lockFile + " " + c.content);
        if (!c.lockFile.empty())
            std::ofstream(c.lockFile) << c.content;
        const int other = ::open(pty.portName().c_str(), O_RDWR | O_NOCTTY);
        if (c.flockHeld) {
            ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
        }
        QtSerialPort port(QString::fromStdString(link));
        const auto error = port.openPort();
        ::close(other);
        if (c.says) {
            ASSERT_TRUE(error);
            EXPECT_NE(error->text.find(c.says), std::string::npos) << error->text;
            EXPECT_EQ(error->text.rfind(link, 0), 0u) << error->text;
            if (!c.lockFile.empty()) {
                EXPECT_EQ(readFile(c.lockFile), c.content) << "another's lock file is left alone";
            }
        } else {
            ASSERT_FALSE(error) << error->text;
            EXPECT_FALSE(QFile::exists(QString::fromStdString(c.lockFile)));
            EXPECT_TRUE(QFile::exists(QString::fromStdString(underQtName))) << "our own lock file";
            const int probe = ::open(pty.portName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0) << "our own flock";
            ::close(probe);
        }
        std::remove(c.lockFile.c_str());
    }
}

// Each message whole; a missing port's goes on to list the ports there are.
TEST(SerialPort, SaysWhatIsWrongWithAPortItCannotOpen)
{
    Pty pty;
    QtSerialPort first(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(first.openPort());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "No port was named. Name one, for example: kestran /dev/ttyUSB0"},
        {std::string(5000, 'x'), "The port name is too long to be a device on this computer."},
        {"/dev/kestran-no-such-port",
         "/dev/kestran-no-such-port does not exist. Is the device plugged in?\n"},
        {"/dev", "/dev is not a serial port."},
        {pty.portName(), pty.portName() + " is in use by another program."},
    };
    for (const auto& [name, text] : cases) {
        QtSerialPort port(QString::fromStdString(name));
        const auto error = port.openPort();
        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->text.substr(0, text.size()), text);
        if (name == "/dev/kestran-no-such-port") {
            EXPECT_NE(error->text.find(portList().toStdString()), std::string::npos);
        }
        EXPECT_FALSE(port.portOpen());
    }
}

} // namespace
} // namespace kestran::serial

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
