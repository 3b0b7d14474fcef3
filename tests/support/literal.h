// SPDX-License-Identifier: MIT
#pragma once

// A plain, line-by-line transcription of the frame notation and the terminal's
// reactions, kept deliberately naive: positions count from 1, the collected
// text grows without bound and every line is formed from all of it. The real
// implementation is checked against it.

#include "terminal/serialport.h"
#include "terminal/window.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestran::literal {

std::optional<std::string> frameCommand(const std::string& text);
std::optional<std::string> formatResponse(const std::string& collected);

class LiteralTerminal {
public:
    // Payloads longer than keepLimit are shown cut, as the real terminal cuts them;
    // by default nothing is cut.
    LiteralTerminal(terminal::SerialPort& port, terminal::Window& window,
                    std::size_t keepLimit = std::string::npos);

    void onLoad();
    void onSend();
    void onComm();
    void onClear();
    void onExit();

    std::string strReceived;

private:
    terminal::SerialPort& m_port;
    terminal::Window& m_window;
    std::size_t m_keepLimit;
};

// Plays a script of events on the real terminal and on the literal one, both
// with the keep limit given, and compares what each shows, writes, opens and
// ends with after every event. Empty when they agree, otherwise what differed.
// Each script byte picks an event; the bytes after it are its chunk or typed text.
std::string differenceOnScript(std::string_view script, std::size_t keepLimit);

// Script events, in the low three bits of an event byte; 0 to 2 all receive.
namespace events {
inline constexpr unsigned char receive = 0; // the next (byte >> 3) % 16 + 1 bytes arrive
inline constexpr unsigned char send = 3;    // the next byte >> 3 bytes are typed, then Send
inline constexpr unsigned char clear = 4;
inline constexpr unsigned char lineState = 5; // a notification that is not a reception
inline constexpr unsigned char lineLost = 6;
inline constexpr unsigned char port = 7; // (byte >> 3) % 4: closed, load, load refused, exit
} // namespace events

} // namespace kestran::literal
