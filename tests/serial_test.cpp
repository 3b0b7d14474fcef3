// SPDX-License-Identifier: MIT
// The serial layer against real pseudo-terminals, with the test playing the
// device at the other end, and other programs holding the port.

#include "serial/portmessages.h"
#include "serial/qtserialport.h"
#include "simulator/pseudoterminal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <numeric>
#include <sys/file.h>
#include <termios.h>

// Every line setting the program asks for. A pseudo-terminal forces 8 data
// bits and no parity whatever it is asked, so reading the settings back
// cannot show a wrong parity or data size; the calls themselves can.
static std::vector<termios> settingsAsked;

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
using Pty = simulator::PseudoTerminal;

TEST(SerialPort, OpensWithTheFixedLineSettings)
{
    Pty pty;
    QtSerialPort port(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(port.openPort());
    ASSERT_FALSE(settingsAsked.empty());
    for (const termios& line : settingsAsked) {
        EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_FALSE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS) || line.c_iflag & (IXON | IXOFF));
    }
    const termios& last = settingsAsked.back();
    EXPECT_EQ(cfgetispeed(&last), speed_t(B9600));
    EXPECT_EQ(cfgetospeed(&last), speed_t(B9600));
    EXPECT_FALSE(last.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP) || last.c_oflag & OPOST ||
                 last.c_lflag & (ICANON | ECHO | ISIG));
}

// All 256 byte values both ways, then the device hangs up: the owner hears of
// it once, and the program does not spin on the dead line.
TEST(SerialPort, CarriesEveryByteBothWaysAndReportsTheHangUpOnce)
{
    Pty pty;
    QtSerialPort port(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(port.openPort());
    std::string bytes(256, '\0'), atProgram, atDevice;
    std::iota(bytes.begin(), bytes.end(), '\0');
    int losses = 0;
    QObject::connect(&port, &QtSerialPort::onComm, [&] {
        if (port.commEvent() == CommEvent::comEvReceive)
            atProgram += port.input();
        if (port.commEvent() == CommEvent::comEvError)
            ++losses, port.closePort();
    });
    port.output(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return (atDevice += pty.read(256, 0ms)).size() >= 256; }));
    EXPECT_EQ(atDevice, bytes);
    pty.write(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return atProgram.size() >= bytes.size(); }));
    EXPECT_EQ(atProgram, bytes);

    pty.closeDevice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return losses > 0; }));
    const std::clock_t cpuBefore = std::clock();
    QTest::qWait(500);
    EXPECT_LT(std::clock() - cpuBefore, CLOCKS_PER_SEC / 4);
    EXPECT_EQ(losses, 1);
    EXPECT_EQ(port.lastError().text, "The device was disconnected.");
}

// Another program's hold on the port, by flock or by a lock file under the
// device's name or the link's, in the formats programs write: each is
// honoured and left as it was. A dead program's lock file is taken over, and
// the port is then held the same way.
TEST(SerialPort, HonoursEveryHoldOnThePortAndHoldsItTheSameWay)
{
    Pty pty;
    QTemporaryDir links;
    const std::string name =
        "usb-serial-test-" + std::to_string(::getpid()); // apart from other runs
    const std::string link = links.filePath(QString::fromStdString(name)).toStdString();
    ASSERT_EQ(::symlink(pty.portName().c_str(), link.c_str()), 0);
    const std::string number = pty.portName().substr(9); // after "/dev/pts/"
    const std::string live = std::to_string(::getppid());
    const std::string dead = "99999999"; // above any PID the kernel hands out
    const std::vector<std::tuple<std::string, std::string, bool, const char*>> cases = {
        {"", "", true, "is in use by another program."},
        {"LCK.." + number, std::string(10 - live.size(), ' ') + live + "\n", false,
         "is in use by "},
        {"LCK..pts_" + number, live + "\nminicom\nhost\n", false, "is in use by "},
        {"LCK.." + name, live + "\n", false, "is in use by "},
        {"LCK.." + name, "garbage\n", false, "which names no running program"},
        {"LCK.." + number, dead + "\n", false, nullptr}};
    for (const auto& [file, content, flockHeld, says] : cases) {
        const std::string lockFile = file.empty() ? "/dev/null" : "/run/lock/" + file;
        SCOPED_TRACE(lockFile + " " + content);
        if (!file.empty())
            std::ofstream(lockFile) << content;
        const int other = ::open(pty.portName().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_TRUE(!flockHeld || ::flock(other, LOCK_EX | LOCK_NB) == 0);
        QtSerialPort port(QString::fromStdString(link));
        const auto error = port.openPort();
        ::close(other);
        std::ifstream left(lockFile);
        const std::string leftContent{std::istreambuf_iterator<char>(left), {}};
        if (says) {
            ASSERT_TRUE(error);
            EXPECT_EQ(error->text.rfind(link, 0), 0u) << error->text;
            EXPECT_NE(error->text.find(says), std::string::npos) << error->text;
            EXPECT_EQ(leftContent, content) << "another's lock file is left alone";
        } else {
            ASSERT_FALSE(error) << error->text;
            EXPECT_EQ(leftContent, "") << "a dead program's lock file is taken over";
            EXPECT_TRUE(QFile::exists(QString::fromStdString("/run/lock/LCK..pts_" + number)));
            const int probe = ::open(pty.portName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0) << "our own flock";
            ::close(probe);
        }
        if (!file.empty())
            std::remove(lockFile.c_str());
    }
}

// Each message as the operator reads it; a missing port's goes on to list
// the ports there are.
TEST(SerialPort, SaysWhatIsWrongWithAPortItCannotOpen)
{
    Pty pty;
    QtSerialPort first(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(first.openPort());
    const std::string missing = "/dev/kestran-no-such-port";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "No port was named. Name one, for example: kestran /dev/ttyUSB0"},
        {std::string(5000, 'x'), "The port name is too long to be a device on this computer."},
        {missing, missing + " does not exist. Is the device plugged in?\n"},
        {"/dev", "/dev is not a serial port."},
        {pty.portName(), pty.portName() + " is in use by another program."}};
    for (const auto& [name, text] : cases) {
        QtSerialPort port(QString::fromStdString(name));
        const auto error = port.openPort();
        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->text.substr(0, text.size()), text);
        EXPECT_TRUE(name != missing ||
                    error->text.find("\n" + portList().toStdString()) != std::string::npos);
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
