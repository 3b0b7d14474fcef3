// SPDX-License-Identifier: MIT
#pragma once

// How a formed line is shown. A device can send anything, and the list must
// never lie about it: two lines that differ in any byte must look different,
// a line must read as one line in the order its bytes came, nothing may
// hide, and the same bytes must look the same wherever they fall. So a line
// is shown as pieces. Plain pieces are the device's own text, byte for byte.
// Translated pieces stand for what cannot be shown faithfully as text, and
// the list draws them in a style that device text never gets:
//  - C0 control characters and DEL by their names ("NUL", "ESC", "DEL");
//  - each byte that is not part of valid UTF-8 as "\xHH";
//  - as "U+XXXX": other controls, format characters (bidi controls, zero-width
//    joiners and spaces, the BOM), line and paragraph separators, spaces other
//    than U+0020, every default-ignorable code point (variation selectors and
//    Hangul fillers included), unassigned and private-use code points,
//    combining marks with no base in the payload or past the third on one
//    base, and code points that no installed font can draw;
//  - the bytes that were not kept, as "…[N more bytes not kept]".

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestran::notation {

// A line as the terminal forms it: its payload as kept, how many payload
// bytes were not kept, and whether an STX began it (without one, the payload
// is what came before the first CR). It is shown between the words "STX"
// and "CRLF", which the walk below gives as pieces of their own.
struct FormedLine {
    std::string payload;
    std::size_t cutBytes = 0;
    bool fromStx = true;
    bool operator==(const FormedLine& other) const
    {
        return fromStx == other.fromStx && cutBytes == other.cutBytes && payload == other.payload;
    }
};

// The payload of a formed line, wherever it is kept.
struct LineView {
    std::string_view payload;
    std::size_t cutBytes = 0;
    LineView(std::string_view p = {}, std::size_t cut = 0) : payload(p), cutBytes(cut) {}
    LineView(const FormedLine& line) : payload(line.payload), cutBytes(line.cutBytes) {}
};

struct Piece {
    std::string text; // UTF-8
    bool translated = false;
    std::size_t at = 0;   // where its bytes begin in the payload
    std::size_t size = 0; // how many bytes of the payload it stands for; 0 for the words
};

// Whether some installed font has a glyph for a code point; without one,
// every code point counts as drawable.
using Drawable = bool (*)(char32_t);

// Where a walk stands; a walk can be resumed from any position it reached.
struct WalkPosition {
    enum Stage : std::int8_t { beforeStx, inPayload, beforeCrlf, ended };
    std::size_t at = 0;           // in the payload
    std::int8_t marksOnBase = -1; // combining marks since the last base; -1: no base
    Stage stage = beforeStx;
    std::int8_t strong = 0; // the last strong direction since a piece's start: 0, 'L', 'R'
};

// Plain pieces of a long run of text end after this many bytes, at the first
// place where that cannot change how the text is drawn (see display.cpp)...
inline constexpr std::size_t plainPieceBytes = 256;
// ...and, when a row has no such place, at the next grapheme boundary after this.
inline constexpr std::size_t plainPieceBytesAtMost = 1024;

class LineWalker {
public:
    using Position = WalkPosition;

    LineWalker(LineView line, Drawable drawable = nullptr, Position from = {});
    ~LineWalker();
    LineWalker(const LineWalker&) = delete;
    LineWalker& operator=(const LineWalker&) = delete;

    // The next piece; false at the end of the line.
    bool next(Piece& piece);
    Position position() const { return m_position; }

private:
    std::string translation(char32_t code, std::size_t length, bool mark) const;
    bool mayEndBefore(std::size_t at, std::size_t pieceSize, bool afterSpace) const;
    bool graphemeBoundary(std::size_t at) const;

    bool nextInPayload(Piece& piece);

    std::string_view m_bytes;
    std::size_t m_cutBytes;
    Drawable m_drawable;
    Position m_position;
    // The line's grapheme clusters, from when a piece first grows long enough
    // to ask: set to the line once, they answer from what they found before.
    struct Clusters;
    mutable std::unique_ptr<Clusters> m_clusters;
};

// The whole line as plain text, boxes as their names: what is copied, and
// what a screen reader reads.
std::string displayText(LineView line, Drawable drawable = nullptr);

} // namespace kestran::notation
