// SPDX-License-Identifier: MIT
#pragma once

// A plain, line-by-line transcription of the frame notation and the terminal's
// reactions, kept deliberately naive: positions count from 1, the collected
// text grows without bound and every line is formed from all of it. The real
// implementation is checked against it.

#include "terminal/serialport.h"
#include "terminal/window.h"

#include <optional>
#include <string>

namespace kestran::literal {

std::optional<std::string> frameCommand(const std::string& text);
std::optional<std::string> formatResponse(const std::string& collected);

class LiteralTerminal {
public:
    // Payloads longer than keepLimit are shown cut, as the real terminal cuts them.
    LiteralTerminal(terminal::SerialPort& port, terminal::Window& window,
                    std::size_t keepLimit = std::string::npos)
        : m_port(port), m_window(window), m_keepLimit(keepLimit)
    {
    }
    void onLoad();
    void onSend();
    void onComm();
    void onClear() { m_window.clearList(); }
    void onExit() { m_window.endProgram(0); }

    std::string strReceived;

private:
    terminal::SerialPort& m_port;
    terminal::Window& m_window;
    std::size_t m_keepLimit;
};

// Plays a script on both terminals and says what first differed in what they
// show, write, open or end with. An event byte's low three bits: 0-2 receive
// the next (byte >> 3) % 16 + 1 bytes; 3 sends the next byte >> 3 bytes as
// typed text; 4 clears; 5 another notification; 6 a lost line; 7 closes,
// loads, loads refused or exits by (byte >> 3) % 4.
std::string differenceOnScript(std::string_view script, std::size_t keepLimit);

} // namespace kestran::literal
