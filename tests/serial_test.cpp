// The serial layer against real pseudo-terminals, with the test playing the
// device at the other end.

#include "serial/qtserialport.h"
#include "support/fakes.h"
#include "support/pty.h"
#include "support/pump.h"
#include "terminal/terminal.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <termios.h>

namespace kestran::serial {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using terminal::CommEvent;
using testing::FakeWindow;
using testing::Pty;
using testing::pumpUntil;

void pumpFor(std::chrono::milliseconds span)
{
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string allBytes()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

// The port as the program wires it: every notification runs the terminal's onComm.
struct Wired {
    explicit Wired(const std::string& name) : port(QString::fromStdString(name))
    {
        QObject::connect(&port, &QtSerialPort::onComm, [this] {
            ++notifications;
            terminal.onComm();
        });
    }
    QtSerialPort port;
    FakeWindow window;
    terminal::Terminal terminal{port, window};
    int notifications = 0;
};

TEST(SerialPort, OpensWithTheFixedLineSettings)
{
    Pty pty;
    QtSerialPort port(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(port.portOpen());
    ASSERT_FALSE(port.openPort());
    ASSERT_TRUE(port.portOpen());
    const termios line = pty.lineSettings();
    EXPECT_EQ(cfgetispeed(&line), speed_t(B9600));
    EXPECT_EQ(cfgetospeed(&line), speed_t(B9600));
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(line.c_cflag & PARENB);
    EXPECT_FALSE(line.c_cflag & CSTOPB);
    EXPECT_FALSE(line.c_cflag & CRTSCTS);
    EXPECT_FALSE(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(line.c_oflag & OPOST);
    EXPECT_FALSE(line.c_lflag & (ICANON | ECHO | ISIG));
    port.closePort();
    EXPECT_FALSE(port.portOpen());
}

TEST(SerialPort, FrameReachesTheDeviceByteForByte)
{
    Pty pty;
    Wired wired(pty.portName());
    wired.terminal.onLoad();
    ASSERT_TRUE(wired.port.portOpen());
    wired.window.typed = "STX01DRS,02,0001CRLF";
    wired.terminal.onSend();
    const std::string expected = "\00201DRS,02,0001\r\n";
    std::string got;
    ASSERT_TRUE(pumpUntil([&] {
        got += pty.read(expected.size() - got.size(), 0ms);
        return got.size() >= expected.size();
    }));
    EXPECT_EQ(got, expected);
}

TEST(SerialPort, EveryByteCrossesUnchangedBothWays)
{
    Pty pty;
    QtSerialPort port(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(port.openPort());
    const std::string bytes = allBytes();
    port.output(bytes);
    std::string atDevice;
    ASSERT_TRUE(pumpUntil([&] {
        atDevice += pty.read(bytes.size() - atDevice.size(), 0ms);
        return atDevice.size() >= bytes.size();
    }));
    EXPECT_EQ(atDevice, bytes);

    std::string atProgram;
    QObject::connect(&port, &QtSerialPort::onComm, [&] {
        if (port.commEvent() == CommEvent::comEvReceive)
            atProgram += port.input();
    });
    pty.write(bytes);
    ASSERT_TRUE(pumpUntil([&] { return atProgram.size() >= bytes.size(); }));
    EXPECT_EQ(atProgram, bytes);
}

TEST(SerialPort, ResponseWrittenInPiecesShowsOneLine)
{
    Pty pty;
    Wired wired(pty.portName());
    wired.terminal.onLoad();
    wired.window.typed = "XCRLF";
    wired.terminal.onSend();
    for (const std::string piece : {"\002AB", "C", "\r", "\n"}) {
        pty.write(piece);
        pumpFor(30ms);
    }
    EXPECT_EQ(wired.window.lines(), (std::vector<std::string>{"STXABCCRLF"}));
    EXPECT_GE(wired.notifications, 2);
}

TEST(SerialPort, LostDeviceIsReportedOnceWithoutSpinning)
{
    Pty pty;
    Wired wired(pty.portName());
    wired.terminal.onLoad();
    ASSERT_TRUE(wired.port.portOpen());
    pty.closeDevice();
    ASSERT_TRUE(pumpUntil([&] { return !wired.port.portOpen(); }));

    const int notificationsAtLoss = wired.notifications;
    const auto cpuBefore = testing::processCpuTime();
    pumpFor(1s);
    const auto cpuUsed = testing::processCpuTime() - cpuBefore;

    ASSERT_EQ(wired.window.notices.size(), 1u);
    EXPECT_EQ(wired.window.notices[0].kind, terminal::Notice::Kind::portLost);
    EXPECT_FALSE(wired.window.notices[0].text.empty());
    EXPECT_EQ(wired.notifications, notificationsAtLoss) << "notifications after the port closed";
    EXPECT_LT(cpuUsed, 100ms);
    wired.window.typed = "XCRLF";
    wired.terminal.onSend();
    EXPECT_FALSE(wired.port.portOpen());
}

TEST(SerialPort, PortInUseElsewhereRaisesAnError)
{
    Pty pty;
    QtSerialPort first(QString::fromStdString(pty.portName()));
    ASSERT_FALSE(first.openPort());
    QtSerialPort second(QString::fromStdString(pty.portName()));
    const auto error = second.openPort();
    ASSERT_TRUE(error);
    EXPECT_NE(error->number, 0);
    EXPECT_FALSE(error->text.empty());
    EXPECT_FALSE(second.portOpen());
    EXPECT_TRUE(first.portOpen());
}

TEST(SerialPort, MissingPortRaisesAnErrorAndEndsTheProgram)
{
    Wired wired("/dev/kestran-no-such-port");
    wired.terminal.onLoad();
    EXPECT_FALSE(wired.port.portOpen());
    ASSERT_EQ(wired.window.notices.size(), 1u);
    EXPECT_EQ(wired.window.notices[0].kind, terminal::Notice::Kind::portCannotOpen);
    EXPECT_NE(wired.window.notices[0].text.find("Error "), std::string::npos);
    ASSERT_TRUE(wired.window.exitStatus);
    EXPECT_NE(*wired.window.exitStatus, 0);
}

} // namespace
} // namespace kestran::serial

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
