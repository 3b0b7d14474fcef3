// SPDX-License-Identifier: MIT
#include "window/quitonsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kestran::window {

namespace {

// A handler may do next to nothing, so it only writes the signal's number
// into a pipe that the event loop watches.
int pipeEnds[2] = {-1, -1};
int received = 0;

void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const auto written = ::write(pipeEnds[1], &byte, 1);
}

} // namespace

void quitOnSignals()
{
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        unsigned char number = 0;
        if (::read(pipeEnds[0], &number, 1) == 1) {
            received = number;
            QCoreApplication::exit(128 + number);
        }
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

int endingSignal()
{
    return received;
}

} // namespace kestran::window
