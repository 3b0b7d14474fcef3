// SPDX-License-Identifier: MIT
#include "support/literal.h"

#include "notation/notation.h"
#include "support/fakes.h"
#include "terminal/terminal.h"

#include <algorithm>
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

LiteralTerminal::LiteralTerminal(terminal::SerialPort& port, terminal::Window& window,
                                 std::size_t keepLimit)
    : m_port(port), m_window(window), m_keepLimit(keepLimit)
{
}

void LiteralTerminal::onLoad()
{
    if (m_port.portOpen())
        return;
    if (const auto error = m_port.openPort()) {
        m_window.tellOperator({terminal::Notice::Kind::portCannotOpen, error->text});
        m_window.endProgram(1);
    }
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
    if (m_port.commEvent() == terminal::CommEvent::comEvError) {
        m_port.closePort();
        return;
    }
    if (m_port.commEvent() != terminal::CommEvent::comEvReceive)
        return;
    const std::string chunk = m_port.input();
    const bool heldCr = chunk.find('\x0D') != std::string::npos;
    strReceived += chunk;
    if (heldCr) {
        if (const auto line = formatResponse(strReceived)) {
            const std::size_t payload = line->size() - 7; // "STX" and "CRLF"
            const std::size_t cut = payload > m_keepLimit ? payload - m_keepLimit : 0;
            const std::string kept = line->substr(0, line->size() - 4 - cut) + "CRLF";
            m_window.appendLine(std::make_shared<const notation::FormedLine>(
                notation::FormedLine{kept, cut}));
        }
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

namespace {

struct Side {
    testing::FakePort port;
    testing::FakeWindow window;
};

} // namespace

std::string differenceOnScript(std::string_view script, std::size_t keepLimit)
{
    Side ours;
    Side theirs;
    terminal::Terminal terminal(ours.port, ours.window, keepLimit);
    LiteralTerminal reference(theirs.port, theirs.window, keepLimit);
    const auto both = [&](auto&& change) {
        change(ours);
        change(theirs);
    };
    const auto take = [&](std::size_t count) {
        const std::string_view bytes = script.substr(0, std::min(count, script.size()));
        script.remove_prefix(bytes.size());
        return std::string(bytes);
    };
    terminal.onLoad();
    reference.onLoad();
    for (int step = 0; !script.empty(); ++step) {
        const auto op = static_cast<unsigned char>(take(1)[0]);
        const unsigned arg = op >> 3;
        switch (op & 7) {
        case 0:
        case 1:
        case 2: {
            const std::string chunk = take(arg % 16 + 1);
            both([&](Side& side) {
                side.port.event = terminal::CommEvent::comEvReceive;
                side.port.waiting = chunk;
            });
            terminal.onComm();
            reference.onComm();
            break;
        }
        case events::send: {
            const std::string typed = take(arg);
            both([&](Side& side) { side.window.typed = typed; });
            terminal.onSend();
            reference.onSend();
            break;
        }
        case events::clear:
            terminal.onClear();
            reference.onClear();
            break;
        case events::lineState:
        case events::lineLost:
            both([&](Side& side) {
                side.port.event = (op & 7) == events::lineState ? terminal::CommEvent::comEvLineState
                                                        : terminal::CommEvent::comEvError;
                side.port.waiting = "\x02x\r";
            });
            terminal.onComm();
            reference.onComm();
            both([&](Side& side) { side.port.waiting.clear(); });
            break;
        case events::port:
            switch (arg % 4) {
            case 0:
                both([&](Side& side) { side.port.open = false; });
                break;
            case 1:
            case 2:
                both([&](Side& side) {
                    side.port.refuseOpen.reset();
                    if (arg % 4 == 2)
                        side.port.refuseOpen = terminal::PortError{2, "busy"};
                });
                terminal.onLoad();
                reference.onLoad();
                break;
            case 3:
                terminal.onExit();
                reference.onExit();
                break;
            }
            break;
        }
        const std::string at = " after event " + std::to_string(step);
        const auto sameLine = [](const terminal::ShownLine& a, const terminal::ShownLine& b) {
            return a->bytes == b->bytes && a->cutBytes == b->cutBytes;
        };
        if (!std::equal(ours.window.list.begin(), ours.window.list.end(),
                        theirs.window.list.begin(), theirs.window.list.end(), sameLine))
            return "lines differ" + at;
        if (ours.port.written != theirs.port.written)
            return "frames differ" + at;
        if (ours.port.open != theirs.port.open)
            return "port state differs" + at;
        if (ours.window.exitStatus != theirs.window.exitStatus)
            return "exit status differs" + at;
    }
    return {};
}

} // namespace kestran::literal
