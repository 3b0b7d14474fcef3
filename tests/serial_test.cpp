// SPDX-License-Identifier: MIT
// The serial layer against real pseudo-terminals, with the test playing the
// device at the other end, and other programs holding the port.

#include "serial/portmessages.h"
#include "serial/qtserialport.h"
#include "support/pty.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdarg>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <linux/serial.h>
#include <numeric>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

template <typename Real> static Real real(const char* name)
{
    return reinterpret_cast<Real>(::dlsym(RTLD_NEXT, name));
}

extern "C" int tcsetattr(int fd, int actions, const termios* settings)
{
    static const auto next = real<int (*)(int, int, const termios*)>("tcsetattr");
    settingsAsked.push_back(*settings);
    return next(fd, actions, settings);
}

static int opening(const char* name, const char* path, int flags, va_list rest)
{
    const mode_t mode = (flags & O_CREAT) ? va_arg(rest, mode_t) : 0;
    char resolved[PATH_MAX];
    if (std::strncmp(path, "/dev/", 5) == 0 && ::realpath(path, resolved))
        devicesOpened.emplace_back(resolved);
    return real<int (*)(const char*, int, mode_t)>(name)(path, flags, mode);
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
    return real<int (*)(int, unsigned long, void*)>("ioctl")(fd, request, argument);
}

namespace kestran::serial {
namespace {

using namespace std::chrono_literals;
using terminal::CommEvent;
using terminal::PortFault;
using testing::Pty;

const QtSerialPort::IdentityLookup noIdentity = [](const std::string&) { return DeviceIdentity{}; };

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

long opensOf(const std::string& device)
{
    return std::count(devicesOpened.begin(), devicesOpened.end(), device);
}

// Opened once, the line settings asked at every call; 256 byte values both
// ways; the device stops reading and hangs up: the loss is told once, with
// what could not be sent counted, and nothing spins.
TEST(SerialPort, OpensOnceCarriesEveryByteAndCountsWhatTheLossLeftUnsent)
{
    Pty pty;
    QtSerialPort port(qs(pty.portName()), nullptr, noIdentity);
    settingsAsked.clear();
    devicesOpened.clear();
    ASSERT_TRUE(port.openPort()) << port.lastError().text;
    EXPECT_EQ(opensOf(pty.portName()), 1) << "a second open drops and raises DTR";
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
    QObject::connect(&port, &QtSerialPort::onComm, [&] {
        if (port.commEvent() == CommEvent::comEvReceive)
            atProgram += port.input();
        if (port.commEvent() == CommEvent::comEvError)
            ++losses, port.closePort();
    });
    port.output(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return (atDevice += pty.read(256, 0ms)).size() >= 256; }));
    pty.write(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return atProgram.size() >= bytes.size(); }));
    EXPECT_EQ(atDevice, bytes);
    EXPECT_EQ(atProgram, bytes);
    for (int i = 0; i < 100; ++i)
        port.output(std::string(1000, 'x'));
    QTest::qWait(200); // the line takes what it can hold
    const auto waiting = static_cast<qint64>(port.outputWaiting());
    EXPECT_GT(waiting, 0);
    pty.closeDevice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return losses > 0; }));
    const std::clock_t cpuBefore = std::clock();
    QTest::qWait(500);
    EXPECT_LT(std::clock() - cpuBefore, CLOCKS_PER_SEC / 4);
    EXPECT_EQ(losses, 1);
    EXPECT_EQ(port.lastError().fault, PortFault::lost);
    EXPECT_EQ(port.lastError().text, "The device was disconnected; " + std::to_string(waiting) +
                                         " bytes waiting to go out were not sent.");
    EXPECT_EQ(port.release(), waiting) << "the count at exit covers the loss";
}

// Another program's hold, by flock or by whatever lies under a lock file name
// (the device's or the link's), read as hostile input: honoured, said as it
// is, left alone, quickly and in little memory. A dead program's lock file is
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
    enum Make { text, fifo, symlink, sparse, flocked };
    const std::vector<std::tuple<std::string, Make, std::string, std::string>> cases = {
        {"", flocked, "", "is in use by serial_test (process "},
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
        const std::string lockFile = "/run/lock/" + (file.empty() ? "LCK..none" : file);
        SCOPED_TRACE(lockFile + " " + content.substr(0, 20));
        const std::shared_ptr<void> removed(nullptr, [&](void*) { std::remove(lockFile.c_str()); });
        std::unique_ptr<testing::OtherProcess> flocking;
        if (make == flocked)
            flocking = std::make_unique<testing::OtherProcess>(pty.portName());
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
        QElapsedTimer clock;
        clock.start();
        QtSerialPort port(qs(link), nullptr, noIdentity);
        const bool opened = port.openPort();
        const qint64 tookMs = clock.elapsed();
        ::getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(tookMs, 100);
        EXPECT_TRUE(make != sparse || after.ru_maxrss - before.ru_maxrss < 1024) << "KiB";
        struct stat left {};
        std::ifstream leftFile(make == text ? lockFile : "/dev/null"); // a FIFO would block
        const std::string leftContent{std::istreambuf_iterator<char>(leftFile), {}};
        if (!says.empty()) {
            ASSERT_FALSE(opened);
            EXPECT_EQ(port.lastError().fault, PortFault::busy);
            EXPECT_EQ(port.lastError().text.rfind(link, 0), 0u) << port.lastError().text;
            EXPECT_NE(port.lastError().text.find(says), std::string::npos) << port.lastError().text;
            EXPECT_TRUE(!flocking || port.lastError().text.find(std::to_string(flocking->pid())) !=
                                         std::string::npos);
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
    QtSerialPort first(qs(pty.portName()), nullptr, noIdentity);
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
        QtSerialPort port(qs(name), nullptr, noIdentity);
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
        {"tty", 5, 0620, false, false, rule},
        {"tty", 5, 0660, false, false, rule}};
    for (const auto& [group, gid, mode, listed, now, says] : advice) {
        const Access access{0, gid, mode, "root", group, now, listed};
        const QString text = permissionDenied(QStringLiteral("/dev/ttyUSB0"), access);
        EXPECT_TRUE(text.contains(says)) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("-aG root")) || text.contains("-aG tty"));
    }
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
    QtSerialPort port(qs(link), nullptr, [&](const std::string& device) {
        return DeviceIdentity{"0403", "6001", serialOf[device], {}};
    });
    ASSERT_TRUE(port.openPort());
    int reopened = 0;
    QStringList said;
    QObject::connect(&port, &QtSerialPort::onComm, [&] {
        if (port.commEvent() == CommEvent::comEvError)
            port.closePort();
        reopened += port.commEvent() == CommEvent::comEvReopened;
    });
    QObject::connect(&port, &QtSerialPort::portState, [&](const QString& text) { said << text; });

    pty->closeDevice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !port.portOpen(); }));
    plugIn("B");
    ASSERT_TRUE(QTest::qWaitFor([&] { return said.size() == 1; }));
    EXPECT_EQ(said.back(), "A different device, serial B, is now at " + qs(link) +
                               "; KESTRAN waits for serial A.");
    std::unique_ptr<testing::OtherProcess> holding;
    plugIn("A", [&] { holding = std::make_unique<testing::OtherProcess>(pty->portName()); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return said.size() == 2; }));
    EXPECT_EQ(said.back(), qs(link) + " is back, but serial_test (process " +
                               QString::number(holding->pid()) +
                               ") holds it now. KESTRAN opens it "
                               "when it is free.");
    devicesOpened.clear();
    holding.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reopened == 1; }, 2500));
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(opensOf(pty->portName()), 1);
    EXPECT_EQ(said.size(), 2) << "each state is said once";
}

// The kernel's line counters: each that rises is reported with the read
// that saw it, once; a driver without them (a pseudo-terminal) is no error.
TEST(SerialPort, ReportsLineErrorsAsTheyRise)
{
    Pty pty;
    QtSerialPort port(qs(pty.portName()), nullptr, noIdentity);
    countersKept = true;
    lineCounters = {};
    ASSERT_TRUE(port.openPort());
    std::vector<std::string> rises;
    QObject::connect(&port, &QtSerialPort::onComm, [&] { port.input(); });
    QObject::connect(&port, &QtSerialPort::lineErrorsRose,
                     [&](const LineCounters& rise) { rises.push_back(rise.describe()); });
    const std::vector<std::pair<int serial_icounter_struct::*, std::string>> counters = {
        {&serial_icounter_struct::frame, "2 framing errors"},
        {&serial_icounter_struct::parity, "2 parity errors"},
        {&serial_icounter_struct::overrun, "2 overruns"},
        {&serial_icounter_struct::buf_overrun, "2 buffer overruns"},
        {&serial_icounter_struct::brk, "2 breaks"}};
    for (const auto& [counter, says] : counters) {
        lineCounters.*counter += 2;
        pty.write("x");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rises.empty(); }));
        pty.write("y"); // nothing more rose
        QTest::qWait(50);
        EXPECT_EQ(rises, std::vector<std::string>{says});
        rises.clear();
    }
    EXPECT_EQ(port.lineErrors().describe(),
              "2 framing errors, 2 parity errors, 2 overruns, 2 buffer overruns, 2 breaks");
    countersKept = false;
}

// From the last byte of a frame leaving the port to the read that brought
// the answer, against the device's own clock.
TEST(SerialPort, TimesTheResponseAsTheDeviceSawIt)
{
    Pty pty;
    QtSerialPort port(qs(pty.portName()), nullptr, noIdentity);
    ASSERT_TRUE(port.openPort());
    QObject::connect(&port, &QtSerialPort::onComm, [&] { port.input(); });
    for (const auto pause : {5ms, 30ms, 120ms}) {
        using Clock = std::chrono::steady_clock;
        Clock::time_point frameIn, answerOut;
        std::thread device([&] {
            pollfd in{pty.deviceEnd(), POLLIN, 0};
            std::string frame;
            while (frame.size() < 5 && ::poll(&in, 1, 2000) == 1)
                frame += pty.read(5 - frame.size(), 0ms);
            frameIn = Clock::now();
            std::this_thread::sleep_for(pause);
            answerOut = Clock::now();
            pty.write("\002ok\r\n");
        });
        QSignalSpy answered(&port, &QtSerialPort::onComm); // its own loop wakes at once
        port.output("\002abc\r");
        EXPECT_TRUE(answered.wait(2000));
        device.join();
        const double deviceMs =
            std::chrono::duration<double, std::milli>(answerOut - frameIn).count();
        EXPECT_NEAR(static_cast<double>(port.responseUs()) / 1000, deviceMs, 2.0);
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
