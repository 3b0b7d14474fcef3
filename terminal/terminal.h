// SPDX-License-Identifier: MIT
#pragma once

// The program's run-time state and its five reactions. The window calls one
// reaction per event, on its own thread, each to its end before the next.

#include "terminal/received.h"
#include "terminal/serialport.h"
#include "terminal/window.h"

#include <cstdint>

namespace kestran::terminal {

class Terminal {
public:
    // At most this much may wait to go out, about a minute at 9600 bit/s; a
    // device that stops reading must not make the program grow.
    static constexpr std::size_t outputLimit = 64 * 1024;

    Terminal(SerialPort& port, Window& window, std::size_t keepLimit = Received::defaultKeepLimit);

    void onLoad();
    void onSend();
    void onComm();
    void onClear();
    void onExit();

private:
    void reportLostLine();
    const ShownLine& currentLine();

    SerialPort& m_port;
    Window& m_window;
    Received m_strReceived;
    // What the list was last given, reused while the formed line stays the same.
    ShownLine m_shown;
    std::uint64_t m_shownVersion = 0;
};

} // namespace kestran::terminal
