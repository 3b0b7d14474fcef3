// SPDX-License-Identifier: MIT
#include "notation/display.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace kestran::notation {

namespace {

constexpr std::string_view shownSuffix = "CRLF";
// Plain pieces end after about this many bytes, so that a long row can be
// drawn from a nearby piece rather than from its start.
constexpr std::size_t plainPieceBytes = 256;
constexpr int marksShownOnABase = 3;

constexpr std::string_view controlNames[] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};

// The code point of the valid UTF-8 sequence at the start of s and its length;
// length 0 when it is not one. Rejects overlong forms, surrogates and code
// points above U+10FFFF.
std::pair<char32_t, std::size_t> decode(std::string_view s)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : low;   // overlong
        high = lead == 0xED ? 0x9F : high; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : low;   // overlong
        high = lead == 0xF4 ? 0x8F : high; // above U+10FFFF
    } else {
        return {0, 0};
    }
    if (s.size() < length || byte(1) < low || byte(1) > high)
        return {0, 0};
    for (std::size_t i = 1; i < length; ++i) {
        if (i > 1 && (byte(i) < 0x80 || byte(i) > 0xBF))
            return {0, 0};
        code = code << 6 | (byte(i) & 0x3F);
    }
    return {code, length};
}

bool isMark(char32_t code)
{
    const auto category = u_charType(static_cast<UChar32>(code));
    return category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK ||
           category == U_COMBINING_SPACING_MARK;
}

// Whether a code point would hide, reorder, break or fake the row.
bool mustTranslate(char32_t code, const Drawable& drawable)
{
    switch (u_charType(static_cast<UChar32>(code))) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_UNASSIGNED:
    case U_PRIVATE_USE_CHAR:
    case U_SURROGATE:
        return true;
    case U_SPACE_SEPARATOR:
        return code != U' ';
    default:
        return u_hasBinaryProperty(static_cast<UChar32>(code),
                                   UCHAR_DEFAULT_IGNORABLE_CODE_POINT) ||
               (drawable && !drawable(code));
    }
}

std::string hex(unsigned value, int digits)
{
    static constexpr char digit[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = digit[value & 0xF];
    return text;
}

} // namespace

LineWalker::LineWalker(const FormedLine& line, const Drawable& drawable, Position from)
    : m_bytes(line.bytes), m_cutBytes(line.cutBytes), m_noteAt(std::string_view::npos),
      m_drawable(drawable), m_position(from)
{
    const bool endsInSuffix = m_bytes.size() >= shownSuffix.size() &&
                              m_bytes.substr(m_bytes.size() - shownSuffix.size()) == shownSuffix;
    if (m_cutBytes > 0 && endsInSuffix)
        m_noteAt = m_bytes.size() - shownSuffix.size();
}

bool LineWalker::next(Piece& piece)
{
    Position& p = m_position;
    piece = Piece{{}, false, p.at, 0};
    if (p.at == m_noteAt && !p.noted) {
        p.noted = true;
        p.marksOnBase = -1;
        piece.translated = true;
        piece.text = "\xE2\x80\xA6[" + std::to_string(m_cutBytes) + " more bytes not kept]";
        return true;
    }
    // Plain text up to the next thing to translate, the cut note, or the
    // length of a piece; never ending between a base and its marks.
    while (p.at < m_bytes.size() && !(p.at == m_noteAt && !p.noted)) {
        const auto [code, length] = decode(m_bytes.substr(p.at));
        const bool mark = length > 0 && isMark(code);
        if (piece.size >= plainPieceBytes && !mark)
            break;
        std::string shown = translation(code, length, mark);
        if (!shown.empty()) {
            if (piece.size > 0)
                break; // the plain text before it is a piece of its own
            piece = Piece{std::move(shown), true, p.at, std::max<std::size_t>(length, 1)};
            p.at += piece.size;
            p.marksOnBase = -1;
            return true;
        }
        p.marksOnBase = mark ? p.marksOnBase + 1 : 0;
        p.at += length;
        piece.size += length;
    }
    piece.text.assign(m_bytes.substr(piece.at, piece.size));
    return piece.size > 0;
}

// What stands at the current position, decoded, as translated text; empty
// when it is shown as it is.
std::string LineWalker::translation(char32_t code, std::size_t length, bool mark) const
{
    if (length == 0)
        return "\\x" + hex(static_cast<unsigned char>(m_bytes[m_position.at]), 2);
    if (code < 0x20 || code == 0x7F)
        return std::string(code == 0x7F ? "DEL" : controlNames[code]);
    const int marks = m_position.marksOnBase;
    if (mark ? marks < 0 || marks >= marksShownOnABase : mustTranslate(code, m_drawable))
        return "U+" + hex(code, code > 0xFFFF ? (code > 0xFFFFF ? 6 : 5) : 4);
    return {};
}

std::string displayText(const FormedLine& line, const Drawable& drawable)
{
    std::string text;
    LineWalker walker(line, drawable);
    Piece piece;
    while (walker.next(piece))
        text += piece.text;
    return text;
}

} // namespace kestran::notation
