// The serial layer against real pseudo-terminals, with the test playing the
// device at the other end.

#include "serial/qtserialport.h"
#include "support/pty.h"
#include "support/pump.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <dlfcn.h>
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

TEST(SerialPort, RefusesABusyOrMissingPortWithAnError)
{
    Pty pty;
    QtSerialPort first(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(first.openPort());
    for (const std::string& name : {pty.portName(), std::string("/dev/kestran-no-such-port")}) {
        QtSerialPort second(QString::fromStdString(name));
        const auto error = second.openPort();
        ASSERT_TRUE(error) << name;
        EXPECT_NE(error->number, 0);
        EXPECT_FALSE(error->text.empty());
        EXPECT_FALSE(second.portOpen());
    }
    EXPECT_TRUE(first.portOpen());
}

} // namespace
} // namespace kestran::serial

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
