#pragma once

// A simulated device for trying KESTRAN without hardware: it sits on the
// device end of a pseudo-terminal and answers every frame it receives.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestran::simulator {

struct Options {
    std::optional<std::string> reply; // answer with this payload instead of the one received
    int pieces = 1;                   // cut every answer into this many pieces...
    int pauseMs = 100;                // ...with this pause between them
    int answers = 1;                  // answer each frame this many times
    bool silent = false;              // read frames but never answer
    std::optional<int> streamEveryMs; // also send a line without STX this often (0: flood)
};

// Parses the command line; the error text when it is not understood.
std::optional<std::string> parseOptions(const std::vector<std::string>& arguments,
                                        Options& options);
std::string usage();

// Cuts frames (STX, payload, CR) out of the bytes as they arrive, in pieces
// of any size. Bytes outside a frame, and the LF after the CR, are skipped.
class FrameReader {
public:
    std::vector<std::string> feed(std::string_view bytes);

private:
    bool m_inFrame = false;
    std::string m_payload;
};

// The bytes to write for one received payload, in the order and pieces in
// which they go out.
std::vector<std::string> answerFor(const std::string& payload, const Options& options);

// Opens a pseudo-terminal, prints the name of the end a terminal program
// opens, and serves until interrupted. Returns the exit status.
int serve(const Options& options);

} // namespace kestran::simulator
