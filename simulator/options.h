// SPDX-License-Identifier: MIT
#pragma once

// What the simulated device is asked to do, from its command line.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestran::simulator {

enum class StreamShape {
    text,         // CR LF-terminated lines without STX
    endlessFrame, // one STX, then text that never holds a CR
    random,       // random bytes, STX left out so an answer is still the first frame
};

struct Options {
    std::optional<std::string> reply; // answer with this payload instead of the one received
    int pieces = 1;                   // cut every answer into this many pieces...
    int pauseMs = 100;                // ...with this pause between them
    int answers = 1;                  // answer each frame this many times
    bool silent = false;              // read frames but never answer
    // Besides answering, send a stream of this shape: a piece every this many
    // milliseconds (0: as fast as the line takes it), up to this many bytes.
    std::optional<int> streamEveryMs;
    StreamShape streamShape = StreamShape::text;
    std::optional<std::size_t> streamBytes;
};

// Parses the command line, "--option value" and "--option=value" alike; the
// error text when it is not understood.
std::optional<std::string> parseOptions(const std::vector<std::string>& arguments,
                                        Options& options);
std::string usage();

} // namespace kestran::simulator
