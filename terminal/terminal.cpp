// SPDX-License-Identifier: MIT
#include "terminal/terminal.h"

#include "notation/notation.h"

#include <utility>

namespace kestran::terminal {

namespace {

std::string describe(const PortError& error)
{
    return "Error " + std::to_string(static_cast<int>(error.fault)) + ": " + error.text;
}

std::string whyNoFrame(const std::string& typed)
{
    const std::string crlf = "\"" + std::string(notation::crlfWord) + "\"";
    if (typed.find(notation::startMarker) == std::string::npos)
        return "Nothing was sent: the command has no " + crlf + " to end it.";
    return "Nothing was sent: there is no " + crlf + " after the start marker \"" +
           std::string(notation::startMarker) + "\".";
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
    m_frameLeft.reset();
    m_record->frame(*frame);
    m_port.output(*frame);
}

void Terminal::onComm()
{
    if (!m_port.portOpen())
        return;
    switch (m_port.commEvent()) {
    case CommEvent::comEvError:
        reportLostLine();
        return;
    case CommEvent::comEvReopened:
        m_window.tellOperator({Notice::Kind::portBack, {}});
        return;
    case CommEvent::comEvSend:
        m_frameLeft = m_port.frameLeft();
        m_record->frameLeft(m_frameLeft);
        return;
    case CommEvent::comEvReceive:
        takeIn(m_port.input());
        return;
    case CommEvent::comEvLineState:
        return;
    }
}

// A chunk, the row it completes if it completes one, and the line errors
// that rose with it: recorded together, as one event.
void Terminal::takeIn(const Chunk& chunk)
{
    m_rowErrors += chunk.errors;
    const std::optional<Row> row = rowMadeBy(chunk);
    if (row)
        m_window.appendLine(*row);
    m_record->read(chunk, row ? &*row : nullptr);
    tellLineErrors(chunk);
}

std::optional<Row> Terminal::rowMadeBy(const Chunk& chunk)
{
    const bool heldCr = chunk.bytes.find(notation::CR) != std::string::npos;
    m_strReceived.append(chunk.bytes);
    // A CR with no complete line yet is ordinary partial data: keep collecting.
    if (!heldCr || !m_strReceived.hasLine())
        return std::nullopt;
    // A frame that has not been seen to leave since the last send has no
    // response time: no time beats a wrong one.
    const auto responseUs = m_frameLeft && chunk.at.steady >= m_frameLeft->steady
                                ? std::chrono::duration_cast<std::chrono::microseconds>(
                                      chunk.at.steady - m_frameLeft->steady)
                                      .count()
                                : -1;
    return Row{currentLine(), chunk.at, responseUs, std::exchange(m_rowErrors, {})};
}

// Line errors mark the row being collected, and the operator is told once a
// burst: the first errors of one, then only how it grows.
void Terminal::tellLineErrors(const Chunk& chunk)
{
    if (!chunk.errors.any())
        return;
    const bool newBurst = !m_lastLineError || chunk.at.steady - *m_lastLineError > lineErrorBurst;
    m_lastLineError = chunk.at.steady;
    m_burst = newBurst ? chunk.errors : (m_burst += chunk.errors);
    m_window.tellOperator(
        {newBurst ? Notice::Kind::lineErrors : Notice::Kind::moreLineErrors, m_burst.describe()});
}

void Terminal::onClear()
{
    m_window.clearList();
    m_record->cleared();
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
            notation::FormedLine{std::string(m_strReceived.payload()), m_strReceived.cutBytes(),
                                 m_strReceived.fromStx()});
        m_shownVersion = m_strReceived.version();
    }
    return m_shown;
}

} // namespace kestran::terminal
