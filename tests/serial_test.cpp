// SPDX-License-Identifier: MIT
// The serial layer against real pseudo-terminals, with the test playing the
// device at the other end.

#include "serialtests.h"
#include "support/pty.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <map>
#include <numeric>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

// What the program asks of the system, taken at the calls themselves: a
// pseudo-terminal forces 8 data bits and no parity whatever it is asked, and
// keeps no line counters, so reading back could not show a wrong setting or
// a counter that rose.
static std::vector<termios> settingsAsked;
static std::vector<std::string> devicesOpened; // each open of a file in /dev, resolved
static serial_icounter_struct lineCounters{};
static bool countersKept = false;

#define KESTRAN_REAL(type, name) reinterpret_cast<type>(::dlsym(RTLD_NEXT, name))

extern "C" int tcsetattr(int fd, int actions, const termios* settings)
{
    static const auto next = KESTRAN_REAL(int (*)(int, int, const termios*), "tcsetattr");
    settingsAsked.push_back(*settings);
    return next(fd, actions, settings);
}

static int opening(const char* name, const char* path, int flags, va_list rest)
{
    const mode_t mode = (flags & O_CREAT) ? va_arg(rest, mode_t) : 0;
    char resolved[PATH_MAX];
    if (std::strncmp(path, "/dev/", 5) == 0 && ::realpath(path, resolved))
        devicesOpened.emplace_back(resolved);
    return KESTRAN_REAL(int (*)(const char*, int, mode_t), name)(path, flags, mode);
}

#define KESTRAN_OPENING(name)                                                                      \
    extern "C" int name(const char* path, int flags, ...)                                          \
    {                                                                                              \
        va_list rest;                                                                              \
        va_start(rest, flags);                                                                     \
        const int fd = opening(#name, path, flags, rest);                                          \
        va_end(rest);                                                                              \
        return fd;                                                                                 \
    }
KESTRAN_OPENING(open)
KESTRAN_OPENING(open64)

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list rest;
    va_start(rest, request);
    void* argument = va_arg(rest, void*);
    va_end(rest);
    if (request == TIOCGICOUNT && countersKept) {
        std::memcpy(argument, &lineCounters, sizeof lineCounters);
        return 0;
    }
    return KESTRAN_REAL(int (*)(int, unsigned long, void*), "ioctl")(fd, request, argument);
}

namespace kestran::serial {
namespace {

using namespace std::chrono_literals;
using terminal::CommEvent;
using terminal::PortFault;
using testing::Pty;

// Opened once, the line settings asked at every call; 256 byte values both
// ways; the device stops reading and hangs up: the loss is told once, with
// what could not be sent counted.
TEST(SerialPort, OpensOnceCarriesEveryByteAndCountsWhatTheLossLeftUnsent)
{
    Pty pty;
    QTemporaryDir links; // a name that, once gone, cannot come back as another test's port
    const std::string link = links.filePath(QStringLiteral("port")).toStdString();
    ASSERT_EQ(::symlink(pty.portName().c_str(), link.c_str()), 0);
    SerialLine port(qs(link), nullptr, noIdentity);
    settingsAsked.clear();
    devicesOpened.clear();
    ASSERT_TRUE(port.openPort()) << port.lastError().text;
    EXPECT_EQ(std::count(devicesOpened.begin(), devicesOpened.end(), pty.portName()), 1)
        << "a second open drops and raises DTR";
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

    std::string bytes(256, '\0'), atProgram, atDevice;
    std::iota(bytes.begin(), bytes.end(), '\0');
    int losses = 0;
    QObject::connect(&port, &SerialLine::onComm, [&] {
        if (port.commEvent() == CommEvent::comEvReceive)
            atProgram += port.input().bytes;
        if (port.commEvent() == CommEvent::comEvError)
            ++losses, std::remove(link.c_str()), port.closePort();
    });
    port.output(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return (atDevice += pty.read(256, 0ms)).size() >= 256; }));
    pty.write(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return atProgram.size() >= bytes.size(); }));
    EXPECT_EQ(atDevice, bytes);
    EXPECT_EQ(atProgram, bytes);
    for (int i = 0; i < 100; ++i) // far more than the line holds
        port.output(std::string(1000, 'x'));
    QTest::qWait(100);
    pty.closeDevice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return losses > 0; }));
    QTest::qWait(100); // the line may complain again; the loss is told once
    EXPECT_EQ(losses, 1);
    EXPECT_EQ(port.lastError().fault, PortFault::lost);
    const std::string said = port.lastError().text;
    const std::string lead = "The device was disconnected; ";
    ASSERT_EQ(said.substr(0, lead.size()), lead);
    const qint64 unsent = std::stoll(said.substr(lead.size()));
    EXPECT_EQ(said, lead + std::to_string(unsent) + " bytes waiting to go out were not sent.");
    EXPECT_GT(unsent, 0);
    EXPECT_LT(unsent, 100000);
    EXPECT_EQ(port.release(), unsent) << "the count at exit covers the loss";
}

// After a loss only the same adapter is taken up again, in one open; a
// different one, or one held by another, is waited past, each said once.
TEST(SerialPort, ReplugsOnlyToTheSameAdapterWhenItIsFree)
{
    QTemporaryDir links;
    const std::string link = links.filePath(QStringLiteral("usb-adapter")).toStdString();
    std::map<std::string, QString> serialOf;
    auto pty = std::make_unique<Pty>();
    serialOf[pty->portName()] = QStringLiteral("A");
    const auto plugIn = [&](const QString& serial, const std::function<void()>& first = {}) {
        pty = std::make_unique<Pty>();
        serialOf[pty->portName()] = serial;
        if (first)
            first();
        std::remove(link.c_str());
        EXPECT_EQ(::symlink(pty->portName().c_str(), link.c_str()), 0);
    };
    ASSERT_EQ(::symlink(pty->portName().c_str(), link.c_str()), 0);
    int looks = 0; // each look asks who the device is
    SerialLine port(qs(link), nullptr, [&](const std::string& device) {
        return ++looks, DeviceIdentity{"0403", "6001", serialOf[device], {}};
    });
    ASSERT_TRUE(port.openPort());
    int reopened = 0;
    QStringList said;
    QObject::connect(&port, &SerialLine::onComm, [&] {
        if (port.commEvent() == CommEvent::comEvError)
            port.closePort();
        reopened += port.commEvent() == CommEvent::comEvReopened;
    });
    QObject::connect(&port, &SerialLine::portState, [&](const QString& text) { said << text; });

    pty->closeDevice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !port.portOpen(); }));
    plugIn("B");
    ASSERT_TRUE(QTest::qWaitFor([&] { return said.size() == 1; }));
    EXPECT_EQ(said.back(), "A different device, serial B, is now at " + qs(link) +
                               "; KESTRAN waits for serial A.");
    std::unique_ptr<testing::OtherProcess> holding;
    devicesOpened.clear();
    plugIn("A", [&] { holding = std::make_unique<testing::OtherProcess>(pty->portName()); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return said.size() == 2; }));
    // A peer's flock is seen without opening its line; held by one, the port is
    // not looked at on lock files: ours, taken and dropped, would wake each look.
    EXPECT_EQ(std::count(devicesOpened.begin(), devicesOpened.end(), pty->portName()), 0);
    const std::string lockFile = "/run/lock/LCK..kestran-" + std::to_string(::getpid());
    looks = (::close(::creat(lockFile.c_str(), 0644)), ::unlink(lockFile.c_str()), 0);
    QTest::qWait(100);
    EXPECT_EQ(looks, 0);
    EXPECT_EQ(said.back(), qs(link) + " is back, but serial_test (process " +
                               QString::number(holding->pid()) +
                               ") holds it now. KESTRAN opens it "
                               "when it is free.");
    holding.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reopened == 1; }, 5000));
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(std::count(devicesOpened.begin(), devicesOpened.end(), pty->portName()), 1);
    EXPECT_EQ(said.size(), 2) << "each state is said once";
}

// The kernel's line counters: each that rises comes with the chunk read
// after it, once; a driver without them (a pseudo-terminal) is no error.
TEST(SerialPort, ReportsLineErrorsWithTheChunksTheyRoseWith)
{
    Pty pty;
    SerialLine port(qs(pty.portName()), nullptr, noIdentity);
    countersKept = true;
    lineCounters = {};
    ASSERT_TRUE(port.openPort());
    std::vector<std::pair<std::string, std::string>> chunks; // bytes, errors
    QObject::connect(&port, &SerialLine::onComm, [&] {
        const terminal::Chunk chunk = port.input();
        chunks.emplace_back(chunk.bytes, chunk.errors.describe());
    });
    const std::vector<std::pair<int serial_icounter_struct::*, std::string>> counters = {
        {&serial_icounter_struct::frame, "2 framing errors"},
        {&serial_icounter_struct::parity, "2 parity errors"},
        {&serial_icounter_struct::overrun, "2 overruns"},
        {&serial_icounter_struct::buf_overrun, "2 buffer overruns"},
        {&serial_icounter_struct::brk, "2 breaks"}};
    for (const auto& [counter, says] : counters) {
        lineCounters.*counter += 2;
        pty.write("x");
        ASSERT_TRUE(QTest::qWaitFor([&] { return chunks.size() == 1; }));
        pty.write("y"); // nothing more rose
        ASSERT_TRUE(QTest::qWaitFor([&] { return chunks.size() == 2; }));
        EXPECT_EQ(chunks, (decltype(chunks){{"x", says}, {"y", ""}}));
        chunks.clear();
    }
    EXPECT_EQ(port.lineErrors().describe(),
              "2 framing errors, 2 parity errors, 2 overruns, 2 buffer overruns, 2 breaks");
    countersKept = false;
}

// The two moments a response time is taken from, in the order they must
// come whatever the machine's load: the frame is seen to leave after it was
// handed over, and told before the answer; the answer's chunk is read after
// the device wrote it. How close the time comes to the device's own clock
// is bench/latency's to measure.
TEST(SerialPort, TimesAFrameFromItsLeavingToTheAnswer)
{
    using Clock = std::chrono::steady_clock;
    Pty pty;
    SerialLine port(qs(pty.portName()), nullptr, noIdentity);
    ASSERT_TRUE(port.openPort());
    std::vector<std::pair<CommEvent, terminal::Moment>> told;
    QObject::connect(&port, &SerialLine::onComm, [&] {
        if (port.commEvent() == CommEvent::comEvSend)
            told.emplace_back(CommEvent::comEvSend, port.frameLeft().value());
        else if (port.commEvent() == CommEvent::comEvReceive)
            told.emplace_back(CommEvent::comEvReceive, port.input().at);
    });
    Clock::time_point answerOut;
    std::thread device([&] {
        pty.read(5, 5000ms);
        std::this_thread::sleep_for(30ms);
        answerOut = Clock::now();
        pty.write("\002ok\r\n");
    });
    const Clock::time_point handedOver = Clock::now();
    port.output("\002abc\r");
    EXPECT_TRUE(told.empty()) << "told only once the send has returned";
    const bool answered = QTest::qWaitFor([&] { return told.size() >= 2; }, 10000);
    device.join();
    ASSERT_TRUE(answered);
    ASSERT_EQ(told[0].first, CommEvent::comEvSend);
    ASSERT_EQ(told[1].first, CommEvent::comEvReceive);
    EXPECT_LE(handedOver, told[0].second.steady);
    EXPECT_LE(told[0].second.steady, told[1].second.steady);
    EXPECT_LE(answerOut, told[1].second.steady);
}

} // namespace
} // namespace kestran::serial

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
