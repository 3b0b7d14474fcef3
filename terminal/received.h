// SPDX-License-Identifier: MIT
#pragma once

// Everything received since the last send, reduced to what can still change
// the line that would be shown. Appending a chunk costs time in proportion to
// the chunk, never to what came before, and what is kept is bounded: a device
// that streams for days does not make the program grow.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestran::terminal {

class Received {
public:
    // A frame still waiting for its CR keeps at most this many payload bytes;
    // the rest is only counted.
    static constexpr std::size_t defaultKeepLimit = 64 * 1024;

    explicit Received(std::size_t keepLimit = defaultKeepLimit);

    void append(std::string_view chunk);
    void clear();

    // True when everything appended since clear() forms a line.
    bool hasLine() const;
    // The formed line's payload as kept, and how many of its bytes were not kept.
    std::string_view payload() const { return m_kept; }
    std::size_t cutBytes() const { return m_cut; }
    // Whether an STX began the line; without one it is what came before a CR.
    bool fromStx() const { return m_phase != Phase::beforeStx; }
    // Changes whenever the formed line may have changed, so a caller can reuse
    // what it made of the previous one.
    std::uint64_t version() const { return m_version; }

private:
    enum class Phase {
        beforeStx,     // no STX yet: the bytes before the first CR would form the line
        insideFrame,   // after the first STX, waiting for its CR
        frameComplete, // the first STX and its CR: the line cannot change any more
    };

    void keep(std::string_view bytes);
    // Forgets what was kept: at a send, or at the first STX, where the line starts anew.
    void restart(Phase phase);

    std::size_t m_keepLimit;
    Phase m_phase = Phase::beforeStx;
    bool m_crBeforeStx = false;
    std::string m_kept; // the payload so far
    std::size_t m_cut = 0;
    std::uint64_t m_version = 0;
};

} // namespace kestran::terminal
