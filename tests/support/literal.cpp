// SPDX-License-Identifier: MIT
#include "support/literal.h"

#include "support/fakes.h"
#include "terminal/terminal.h"

#include <algorithm>

namespace kestran::literal {

namespace {

// Position (from 1) of the first occurrence of sub at position start or later; 0 when none.
std::size_t inStr(std::size_t start, const std::string& text, const std::string& sub)
{
    const std::size_t found = start > text.size() ? std::string::npos : text.find(sub, start - 1);
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
    return "\x02" + mid(text, pX + 1, pC - pX - 1) + "\r\n";
}

std::optional<std::string> formatResponse(const std::string& collected)
{
    const std::size_t pS = inStr(1, collected, "\x02");
    const std::size_t pR = inStr(pS + 1, collected, "\r");
    if (pR == 0)
        return std::nullopt;
    return "STX" + mid(collected, pS + 1, pR - pS - 1) + "CRLF";
}

void LiteralTerminal::onLoad()
{
    if (!m_port.portOpen() && !m_port.openPort())
        m_window.endProgram(1);
}

void LiteralTerminal::onSend()
{
    if (!m_port.portOpen())
        return;
    if (const auto frame = frameCommand(m_window.commandText())) {
        strReceived.clear();
        m_port.output(*frame);
    }
}

void LiteralTerminal::onComm()
{
    if (!m_port.portOpen())
        return;
    if (m_port.commEvent() == terminal::CommEvent::comEvError)
        m_port.closePort();
    if (m_port.commEvent() != terminal::CommEvent::comEvReceive)
        return;
    const std::string chunk = m_port.input().bytes;
    strReceived += chunk;
    const auto line = formatResponse(strReceived);
    if (chunk.find('\r') == std::string::npos || !line)
        return;
    // What the terminal keeps of a long payload; the words are the list's to add.
    std::string payload = line->substr(3, line->size() - 7);
    const std::size_t cut = payload.size() > m_keepLimit ? payload.size() - m_keepLimit : 0;
    payload.resize(payload.size() - cut);
    terminal::Row row;
    row.line = std::make_shared<const notation::FormedLine>(notation::FormedLine{
        std::move(payload), cut, strReceived.find('\x02') != std::string::npos});
    m_window.appendLine(row);
}

std::string differenceOnScript(std::string_view script, std::size_t keepLimit)
{
    testing::FakePort ourPort, theirPort;
    testing::FakeWindow ourWindow, theirWindow;
    terminal::Terminal ours(ourPort, ourWindow, keepLimit);
    LiteralTerminal theirs(theirPort, theirWindow, keepLimit);
    const auto take = [&](std::size_t count) {
        const std::string bytes(script.substr(0, std::min(count, script.size())));
        script.remove_prefix(bytes.size());
        return bytes;
    };
    const auto notify = [&](terminal::CommEvent event, const std::string& waiting) {
        ourPort.event = theirPort.event = event;
        ourPort.waiting = theirPort.waiting = waiting;
        ours.onComm();
        theirs.onComm();
        ourPort.waiting.clear();
        theirPort.waiting.clear();
    };
    const auto sameLine = [](const terminal::Row& a, const terminal::Row& b) {
        return a.line->payload == b.line->payload && a.line->cutBytes == b.line->cutBytes &&
               a.line->fromStx == b.line->fromStx;
    };
    ours.onLoad();
    theirs.onLoad();
    for (int step = 0; !script.empty(); ++step) {
        const auto op = static_cast<unsigned char>(take(1)[0]);
        const unsigned arg = op >> 3;
        switch (op & 7) {
        case 3:
            ourWindow.typed = theirWindow.typed = take(arg);
            ours.onSend();
            theirs.onSend();
            break;
        case 4:
            ours.onClear();
            theirs.onClear();
            break;
        case 5:
        case 6:
            notify((op & 7) == 5 ? terminal::CommEvent::comEvLineState
                                 : terminal::CommEvent::comEvError,
                   "\x02x\r");
            break;
        case 7:
            ourPort.refuseOpen = theirPort.refuseOpen =
                arg % 4 == 2
                    ? std::optional<terminal::PortError>({terminal::PortFault::busy, "busy"})
                    : std::nullopt;
            if (arg % 4 == 0)
                ourPort.open = theirPort.open = false;
            else if (arg % 4 == 3)
                ours.onExit(), theirs.onExit();
            else
                ours.onLoad(), theirs.onLoad();
            break;
        default:
            notify(terminal::CommEvent::comEvReceive, take(arg % 16 + 1));
        }
        const std::string at = " after event " + std::to_string(step);
        if (!std::equal(ourWindow.list.begin(), ourWindow.list.end(), theirWindow.list.begin(),
                        theirWindow.list.end(), sameLine))
            return "lines differ" + at;
        if (ourPort.written != theirPort.written)
            return "frames differ" + at;
        if (ourPort.open != theirPort.open || ourWindow.exitStatus != theirWindow.exitStatus)
            return "port state or exit status differs" + at;
    }
    return {};
}

} // namespace kestran::literal
