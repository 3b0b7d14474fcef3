// SPDX-License-Identifier: MIT
#include "terminal/received.h"

#include "notation/notation.h"

namespace kestran::terminal {

using notation::CR;
using notation::STX;

Received::Received(std::size_t keepLimit) : m_keepLimit(keepLimit) {}

void Received::clear()
{
    restart(Phase::beforeStx);
}

bool Received::hasLine() const
{
    return m_phase == Phase::frameComplete || (m_phase == Phase::beforeStx && m_crBeforeStx);
}

void Received::keep(std::string_view bytes)
{
    const std::size_t room = m_keepLimit - m_kept.size();
    if (bytes.size() <= room) {
        m_kept.append(bytes);
        return;
    }
    m_kept.append(bytes.substr(0, room));
    m_cut += bytes.size() - room;
}

void Received::restart(Phase phase)
{
    m_phase = phase;
    m_crBeforeStx = false;
    m_kept.clear();
    m_cut = 0;
    ++m_version;
}

void Received::append(std::string_view chunk)
{
    constexpr std::string_view stxOrCr("\x02\x0D", 2);
    std::size_t at = 0;
    while (at < chunk.size()) {
        switch (m_phase) {
        case Phase::beforeStx: {
            if (m_crBeforeStx) {
                // The line is fixed until an STX turns up; nothing else matters.
                const std::size_t stx = chunk.find(STX, at);
                if (stx == std::string_view::npos)
                    return;
                restart(Phase::insideFrame);
                at = stx + 1;
                break;
            }
            const std::size_t mark = chunk.find_first_of(stxOrCr, at);
            keep(chunk.substr(at,
                              mark == std::string_view::npos ? std::string_view::npos : mark - at));
            if (mark == std::string_view::npos)
                return;
            if (chunk[mark] == STX) {
                restart(Phase::insideFrame);
            } else {
                m_crBeforeStx = true;
                ++m_version;
            }
            at = mark + 1;
            break;
        }
        case Phase::insideFrame: {
            const std::size_t cr = chunk.find(CR, at);
            keep(chunk.substr(at, cr == std::string_view::npos ? std::string_view::npos : cr - at));
            if (cr == std::string_view::npos)
                return;
            m_phase = Phase::frameComplete;
            ++m_version;
            return;
        }
        case Phase::frameComplete:
            return;
        }
    }
}

} // namespace kestran::terminal
