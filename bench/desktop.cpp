// SPDX-License-Identifier: MIT
// KESTRAN as an operator meets it: a kestran process in a real X server
// (an Xvfb of its own unless DISPLAY names one), a pseudo-terminal playing
// the device. It measures the CPU time the whole process uses (every thread,
// from the scheduler's nanoseconds) and how often its threads wake:
//  - idle, 30 s with the window up and nothing happening;
//  - an exchange driven by clicks on Send, pressed through XTEST as a mouse
//    would press it, the device answering each frame: CPU per row;
//  - the 10 s after the device hangs up, the reaction (its box) included.
//
//   build/bench/desktop [rows]     (default 20000)

#include "support/pty.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Usage {
    double cpuMs = 0;
    long wakeUps = 0; // context switches, voluntary or not, of every thread
};

Usage usageOf(qint64 pid)
{
    Usage usage;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream schedstat((tasks + "/" + task + "/schedstat").toStdString());
        long long ns = 0;
        schedstat >> ns;
        usage.cpuMs += static_cast<double>(ns) / 1e6;
        std::ifstream status((tasks + "/" + task + "/status").toStdString());
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos)
                usage.wakeUps += std::atol(line.substr(line.find(':') + 1).c_str());
        }
    }
    return usage;
}

Usage since(const Usage& before, const Usage& now)
{
    return {now.cpuMs - before.cpuMs, now.wakeUps - before.wakeUps};
}

// The top-level window with that name, once it is shown.
Window findWindow(Display* display, const char* name)
{
    const auto deadline = Clock::now() + 20s;
    while (Clock::now() < deadline) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        Window found = 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            char* title = nullptr;
            XWindowAttributes attributes{};
            if (XFetchName(display, children[i], &title) && title && std::string(title) == name &&
                XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable)
                found = children[i];
            if (title)
                XFree(title);
        }
        if (children)
            XFree(children);
        if (found)
            return found;
        std::this_thread::sleep_for(50ms);
    }
    return 0;
}

void click(Display* display)
{
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    QProcess xvfb;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb.waitForReadyRead(10000))
            return 1;
        qputenv("DISPLAY", ":" + xvfb.readLine().trimmed());
    }
    Display* display = nullptr;
    for (int tries = 0; tries < 100 && !(display = XOpenDisplay(nullptr)); ++tries)
        std::this_thread::sleep_for(50ms);
    if (!display)
        return 1;

    kestran::testing::Pty device;
    QProcess kestran;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    kestran.setProcessEnvironment(environment);
    kestran.setProcessChannelMode(QProcess::ForwardedChannels);
    kestran.start(QStringLiteral(KESTRAN_BINARY), {QString::fromStdString(device.portName())});
    const Window window = findWindow(display, "KESTRAN");
    if (!window || !kestran.waitForStarted())
        return 1;
    const qint64 pid = kestran.processId();
    const auto at = [&](int x, int y) { // a point of the window, as the mouse reaches it
        int rootX = 0, rootY = 0;
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY,
                              &child);
        XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
        XFlush(display);
    };
    std::this_thread::sleep_for(2s); // start-up settles

    Usage before = usageOf(pid);
    std::this_thread::sleep_for(30s);
    const Usage idle = since(before, usageOf(pid));

    // The command typed into the entry field, then Send clicked again and again.
    at(184, 332);
    click(display);
    const QString command = QStringLiteral("STX01DRS,02,0001CRLF");
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), command});
    at(84, 252);
    std::this_thread::sleep_for(500ms);
    const std::string frame = "\00201DRS,02,0001\r\n";
    int answered = 0;
    before = usageOf(pid);
    const auto started = Clock::now();
    for (int i = 0; i < rows; ++i) {
        click(display);
        if (device.read(frame.size(), 5000ms) != frame)
            break;
        device.write(frame); // the simulated device's echo
        ++answered;
        // Time to take the answer in before the next click, so that no two
        // answers are read as one.
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(1s); // the last rows drawn
    const Usage exchange = since(before, usageOf(pid));
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    before = usageOf(pid);
    device.closeDevice();
    std::this_thread::sleep_for(10s);
    const Usage hangUp = since(before, usageOf(pid));

    std::printf("idle 30 s: %.2f ms of CPU, %ld wake-ups\n", idle.cpuMs, idle.wakeUps);
    std::printf("exchange by clicks: %d of %d rows in %.1f s, %.0f us of CPU a row, %.1f "
                "wake-ups a row\n",
                answered, rows, seconds, exchange.cpuMs * 1000 / std::max(answered, 1),
                static_cast<double>(exchange.wakeUps) / std::max(answered, 1));
    std::printf("the 10 s after a hang-up: %.1f ms of CPU, %ld wake-ups\n", hangUp.cpuMs,
                hangUp.wakeUps);
    kestran.terminate();
    kestran.waitForFinished();
    XCloseDisplay(display);
    xvfb.terminate();
    xvfb.waitForFinished();
    return answered == rows ? 0 : 1;
}
