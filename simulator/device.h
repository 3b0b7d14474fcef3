// SPDX-License-Identifier: MIT
#pragma once

// A simulated device for trying KESTRAN without hardware: it sits on the
// device end of a pseudo-terminal and answers every frame it receives.

#include "simulator/options.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestran::simulator {

// Cuts frames (STX, payload, CR) out of the bytes as they arrive, in pieces
// of any size. Bytes outside a frame, and the LF after the CR, are skipped;
// of a payload longer than keptPayload only the first bytes are kept.
class FrameReader {
public:
    static constexpr std::size_t keptPayload = 64 * 1024;

    std::vector<std::string> feed(std::string_view bytes);

private:
    bool m_inFrame = false;
    std::string m_payload;
};

// What the device sends of its own accord, piece by piece.
class Stream {
public:
    explicit Stream(const Options& options);
    bool finished() const;
    std::size_t sent() const { return m_sent; }
    // The next piece, counted as sent.
    std::string next();

private:
    StreamShape m_shape;
    std::optional<std::size_t> m_limit;
    bool m_floods;
    std::size_t m_sent = 0;
    unsigned m_lines = 0;
    std::uint32_t m_random = 2463534242u;
};

// The bytes to write for one received payload, in the order and pieces in
// which they go out.
std::vector<std::string> answerFor(const std::string& payload, const Options& options);

// At most this many bytes of answers wait for the line; when nobody reads,
// later answers are dropped and counted.
inline constexpr std::size_t answersWaitingAtMost = 1024 * 1024;

// Opens a pseudo-terminal, prints the name of the end a terminal program
// opens, and serves until interrupted. Returns the exit status.
int serve(const Options& options);

} // namespace kestran::simulator
