#pragma once

// A simulated device for trying KESTRAN without hardware: it sits on the
// device end of a pseudo-terminal and answers every frame it receives.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// Opens a pseudo-terminal, prints the name of the end a terminal program
// opens, and serves until interrupted. Returns the exit status.
int serve(const Options& options);

} // namespace kestran::simulator
