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
    LiteralTerminal(terminal::SerialPort& port, terminal::Window& window);

    void onLoad();
    void onSend();
    void onComm();
    void onClear();
    void onExit();

    std::string strReceived;

private:
    terminal::SerialPort& m_port;
    terminal::Window& m_window;
};

} // namespace kestran::literal
