// SPDX-License-Identifier: MIT
#pragma once

// How a formed line is shown. A device can send anything, and the list must
// never lie about it: two lines that differ in any byte must look different,
// a line must read as one line in the order its bytes came, and nothing may
// hide. So a line is shown as pieces. Plain pieces are the device's own
// text, byte for byte. Translated pieces stand for what cannot be shown
// faithfully as text, and the list draws them in a style that device text
// never gets:
//  - C0 control characters and DEL by their names ("NUL", "ESC", "DEL");
//  - each byte that is not part of valid UTF-8 as "\xHH";
//  - as "U+XXXX": other controls, format characters (bidi controls, zero-width
//    spaces, the BOM), line and paragraph separators, spaces other than
//    U+0020, default-ignorable, unassigned and private-use code points,
//    combining marks with no base or past the third on one base, and code
//    points that no installed font can draw;
//  - the bytes that were not kept, as "…[N more bytes not kept]".

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kestran::notation {

// A line as the terminal forms it: "STX", the payload as kept, "CRLF"; and how
// many payload bytes were not kept.
struct FormedLine {
    std::string bytes;
    std::size_t cutBytes = 0;
};

struct Piece {
    std::string text; // UTF-8
    bool translated = false;
    std::size_t at = 0;   // where its bytes begin in the line
    std::size_t size = 0; // how many bytes of the line it stands for
};

// Whether some installed font has a glyph for a code point; without one,
// every code point counts as drawable.
using Drawable = std::function<bool(char32_t)>;

// Where a walk stands; a walk can be resumed from any position it reached.
struct WalkPosition {
    std::size_t at = 0;
    int marksOnBase = -1; // combining marks since the last base; -1: no base
    bool noted = false;   // the cut note has been given
};

class LineWalker {
public:
    using Position = WalkPosition;

    LineWalker(const FormedLine& line, const Drawable& drawable, Position from = {});

    // The next piece; false at the end of the line.
    bool next(Piece& piece);
    Position position() const { return m_position; }

private:
    std::string translation(char32_t code, std::size_t length, bool mark) const;

    std::string_view m_bytes;
    std::size_t m_cutBytes;
    std::size_t m_noteAt;
    const Drawable& m_drawable;
    Position m_position;
};

// The whole line as plain text: what is copied, and what a screen reader reads.
std::string displayText(const FormedLine& line, const Drawable& drawable = {});

} // namespace kestran::notation
