#include "support/literal.h"

#include "notation/notation.h"

#include <memory>

namespace kestran::literal {

namespace {

const std::string STX(1, '\x02');
const std::string CR(1, '\x0D');
const std::string LF(1, '\x0A');

// Position (from 1) of the first occurrence of sub at position start or later; 0 when none.
std::size_t inStr(std::size_t start, const std::string& text, const std::string& sub)
{
    if (start > text.size())
        return 0;
    const std::size_t found = text.find(sub, start - 1);
    return found == std::string::npos ? 0 : found + 1;
}

// The length characters that begin at position start (from 1).
std::string mid(const std::string& text, std::size_t start, std::size_t length)
{
    return text.substr(start - 1, length);
}

} // namespace

std::optional<std::string> frameCommand(const std::string& text)
{
    const std::size_t pX = inStr(1, text, "X");
    const std::size_t pC = inStr(pX + 1, text, "CRLF");
    if (pC == 0)
        return std::nullopt;
    const std::string payload = mid(text, pX + 1, pC - pX - 1);
    return STX + payload + CR + LF;
}

std::optional<std::string> formatResponse(const std::string& collected)
{
    const std::size_t pS = inStr(1, collected, STX);
    const std::size_t pR = inStr(pS + 1, collected, CR);
    if (pR == 0)
        return std::nullopt;
    const std::string payload = mid(collected, pS + 1, pR - pS - 1);
    return "STX" + payload + "CRLF";
}

LiteralTerminal::LiteralTerminal(terminal::SerialPort& port, terminal::Window& window)
    : m_port(port), m_window(window)
{
}

void LiteralTerminal::onLoad()
{
    if (!m_port.portOpen())
        m_port.openPort();
}

void LiteralTerminal::onSend()
{
    if (!m_port.portOpen())
        return;
    const std::string text = m_window.commandText();
    const auto frame = frameCommand(text);
    if (!frame)
        return;
    strReceived.clear();
    m_port.output(*frame);
}

void LiteralTerminal::onComm()
{
    if (!m_port.portOpen())
        return;
    if (m_port.commEvent() != terminal::CommEvent::comEvReceive)
        return;
    const std::string chunk = m_port.input();
    const bool heldCr = chunk.find('\x0D') != std::string::npos;
    strReceived += chunk;
    if (heldCr) {
        if (const auto line = formatResponse(strReceived))
            m_window.appendLine(std::make_shared<const std::string>(notation::displayText(*line)));
    }
}

void LiteralTerminal::onClear()
{
    m_window.clearList();
}

void LiteralTerminal::onExit()
{
    m_window.endProgram(0);
}

} // namespace kestran::literal
