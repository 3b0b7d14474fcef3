// SPDX-License-Identifier: MIT
#include "terminal/terminal.h"

#include "notation/notation.h"

namespace kestran::terminal {

namespace {

std::string describe(const PortError& error)
{
    return "Error " + std::to_string(static_cast<int>(error.fault)) + ": " + error.text;
}

std::string whyNoFrame(const std::string& typed)
{
    if (typed.find('X') == std::string::npos)
        return "Nothing was sent: the command has no \"CRLF\" to end it.";
    return "Nothing was sent: there is no \"CRLF\" after the start marker \"X\".";
}

} // namespace

Terminal::Terminal(SerialPort& port, Window& window, std::size_t keepLimit)
    : m_port(port), m_window(window), m_strReceived(keepLimit)
{
}

void Terminal::onLoad()
{
    if (m_port.portOpen())
        return;
    if (!m_port.openPort()) {
        m_window.tellOperator({Notice::Kind::portCannotOpen, describe(m_port.lastError())});
        m_window.endProgram(1);
    }
}

void Terminal::onSend()
{
    if (!m_port.portOpen())
        return;
    const std::string typed = m_window.commandText();
    const auto frame = notation::frameCommand(typed);
    if (!frame) {
        // Nothing is written and the collected text stays as it is.
        m_window.tellOperator({Notice::Kind::noFrame, whyNoFrame(typed)});
        return;
    }
    const std::size_t waiting = m_port.outputWaiting();
    if (waiting + frame->size() > outputLimit) {
        m_window.tellOperator(
            {Notice::Kind::outputFull, "Nothing was sent: the device is not taking data, and " +
                                           std::to_string(waiting) +
                                           " bytes are still waiting to go out."});
        return;
    }
    m_strReceived.clear();
    m_port.output(*frame);
}

void Terminal::onComm()
{
    if (!m_port.portOpen())
        return;
    const CommEvent event = m_port.commEvent();
    if (event == CommEvent::comEvError) {
        reportLostLine();
        return;
    }
    if (event == CommEvent::comEvReopened) {
        m_window.tellOperator({Notice::Kind::portBack, {}});
        return;
    }
    if (event != CommEvent::comEvReceive)
        return;
    const std::string chunk = m_port.input();
    const bool heldCr = chunk.find(notation::CR) != std::string::npos;
    m_strReceived.append(chunk);
    // A CR with no complete line yet is ordinary partial data: keep collecting.
    if (heldCr && m_strReceived.hasLine())
        m_window.appendLine(currentLine());
}

void Terminal::onClear()
{
    m_window.clearList();
}

void Terminal::onExit()
{
    m_window.endProgram(0);
}

void Terminal::reportLostLine()
{
    // Closing first means every later notification finds the port closed, so
    // the operator hears of the loss once, however often the line complains.
    const PortError error = m_port.lastError();
    m_port.closePort();
    m_window.tellOperator({Notice::Kind::portLost, describe(error)});
}

const ShownLine& Terminal::currentLine()
{
    if (!m_shown || m_shownVersion != m_strReceived.version()) {
        m_shown = std::make_shared<const notation::FormedLine>(
            notation::FormedLine{notation::responseLine(m_strReceived.payload()),
                                 m_strReceived.cutBytes(), m_strReceived.fromStx()});
        m_shownVersion = m_strReceived.version();
    }
    return m_shown;
}

} // namespace kestran::terminal
