// SPDX-License-Identifier: MIT
#pragma once

// For tests that use Qt: lets the event loop run while waiting for something
// that the program, or a process next to it, is about to do.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <thread>

namespace kestran::testing {

// True once `done` holds; false when the time ran out first.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        // What is awaited may happen in another process, with no event here.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace kestran::testing
