// SPDX-License-Identifier: MIT
#include "notation/display.h"

#include "notation/notation.h"
#include "notation/spelling.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace kestran::notation {

namespace {

constexpr int marksShownOnABase = 3;
// How far past a place to look for the direction of what follows.
constexpr std::size_t directionLookahead = 64;

// The code point of the well-formed UTF-8 sequence at `at` and its length;
// length 0 when there is none there.
std::pair<char32_t, std::size_t> decode(std::string_view s, std::size_t at)
{
    auto i = static_cast<std::int32_t>(at);
    UChar32 code = 0;
    U8_NEXT(s.data(), i, static_cast<std::int32_t>(s.size()), code);
    if (code < 0)
        return {0, 0};
    return {static_cast<char32_t>(code), static_cast<std::size_t>(i) - at};
}

bool isMark(char32_t code)
{
    return U_GET_GC_MASK(static_cast<UChar32>(code)) & U_GC_M_MASK;
}

bool ignorable(char32_t code)
{
    return u_hasBinaryProperty(static_cast<UChar32>(code), UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
}

// Whether a code point would hide, reorder, break or fake the row.
bool mustTranslate(char32_t code, Drawable drawable)
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
        return ignorable(code) || (drawable && !drawable(code));
    }
}

// Which way a code point pulls the text around it: 'L'; 'R' (right-to-left
// letters, and Arabic digits, which are ordered as they are); 'N' for other
// digits, which stay with right-to-left text before them and are
// left-to-right after anything else; or 0.
std::int8_t direction(char32_t code)
{
    switch (u_charDirection(static_cast<UChar32>(code))) {
    case U_LEFT_TO_RIGHT:
        return 'L';
    case U_RIGHT_TO_LEFT:
    case U_RIGHT_TO_LEFT_ARABIC:
    case U_ARABIC_NUMBER:
        return 'R';
    case U_EUROPEAN_NUMBER:
        return 'N';
    default:
        return 0;
    }
}

} // namespace

// ICU's grapheme cluster rules: a flag's two regional indicators, a Hangul
// syllable's jamo, an emoji and its modifier stay together.
struct LineWalker::Clusters {
    explicit Clusters(std::string_view line)
    {
        static UBreakIterator* const prototype = [] {
            UErrorCode status = U_ZERO_ERROR;
            UBreakIterator* opened = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
            return U_SUCCESS(status) ? opened : nullptr;
        }();
        UErrorCode status = U_ZERO_ERROR;
        characters = prototype ? ubrk_clone(prototype, &status) : nullptr;
        utext_openUTF8(&text, line.data(), static_cast<std::int64_t>(line.size()), &status);
        if (characters)
            ubrk_setUText(characters, &text, &status);
        ready = characters && U_SUCCESS(status);
    }
    ~Clusters()
    {
        if (characters)
            ubrk_close(characters);
        utext_close(&text);
    }
    Clusters(const Clusters&) = delete;
    Clusters& operator=(const Clusters&) = delete;

    UText text = UTEXT_INITIALIZER;
    UBreakIterator* characters = nullptr;
    bool ready = false;
};

LineWalker::~LineWalker() = default;

bool LineWalker::graphemeBoundary(std::size_t at) const
{
    if (!m_clusters)
        m_clusters = std::make_unique<Clusters>(m_bytes);
    return m_clusters->ready &&
           ubrk_isBoundary(m_clusters->characters, static_cast<std::int32_t>(at));
}

LineWalker::LineWalker(LineView line, Drawable drawable, Position from)
    : m_bytes(line.payload), m_cutBytes(line.cutBytes), m_drawable(drawable), m_position(from)
{
}

// Where a long plain piece may end without changing how its text is drawn.
// Shaping and kerning join letters, but not across a plain space; a cluster
// must stay whole; and the bidi algorithm reorders a right-to-left run as a
// whole, so no cut may fall inside one. A space lies outside such a run
// unless right-to-left text (or a number, which the algorithm keeps with it)
// stands on both sides of it. Past plainPieceBytesAtMost a grapheme
// boundary will do, and past twice that any code point's.
bool LineWalker::mayEndBefore(std::size_t at, std::size_t pieceSize, bool afterSpace) const
{
    if (pieceSize >= 2 * plainPieceBytesAtMost)
        return true;
    if (pieceSize >= plainPieceBytesAtMost)
        return graphemeBoundary(at);
    if (pieceSize < plainPieceBytes || !afterSpace || !graphemeBoundary(at))
        return false;
    if (m_position.strong != 'R')
        return true;
    const std::size_t until = std::min(m_bytes.size(), at + directionLookahead);
    for (std::size_t next = at; next < until;) {
        const auto [code, length] = decode(m_bytes, next);
        if (length == 0 || mustTranslate(code, m_drawable))
            return true; // a box stands between: the text after it is a run of its own
        if (const std::int8_t pull = direction(code))
            return pull == 'L';
        next += length;
    }
    return until == m_bytes.size();
}

// "STX" and "CRLF" are pieces of their own, so that nothing the device sent
// can mark them or join them; the cut note stands before "CRLF".
bool LineWalker::next(Piece& piece)
{
    Position& p = m_position;
    switch (p.stage) {
    case Position::beforeStx:
        p.stage = Position::inPayload;
        p.marksOnBase = -1;
        piece = Piece{std::string(stxWord), false, 0, 0};
        return true;
    case Position::inPayload:
        if (nextInPayload(piece))
            return true;
        p.stage = Position::beforeCrlf;
        if (m_cutBytes > 0) {
            piece = Piece{"\xE2\x80\xA6[" + std::to_string(m_cutBytes) + " more bytes not kept]",
                          true, p.at, 0};
            return true;
        }
        [[fallthrough]];
    case Position::beforeCrlf:
        p.stage = Position::ended;
        piece = Piece{std::string(crlfWord), false, p.at, 0};
        return true;
    case Position::ended:
        break;
    }
    return false;
}

bool LineWalker::nextInPayload(Piece& piece)
{
    Position& p = m_position;
    piece = Piece{{}, false, p.at, 0};
    bool afterSpace = false;
    while (p.at < m_bytes.size()) {
        const auto [code, length] = decode(m_bytes, p.at);
        const bool mark = length > 0 && isMark(code);
        std::string shown = translation(code, length, mark);
        if (!shown.empty()) {
            if (piece.size > 0)
                break; // the plain text before it is a piece of its own
            piece = Piece{std::move(shown), true, p.at, std::max<std::size_t>(length, 1)};
            p.at += piece.size;
            p.marksOnBase = -1;
            p.strong = 0;
            return true;
        }
        if (piece.size > 0 && mayEndBefore(p.at, piece.size, afterSpace))
            break;
        p.marksOnBase = static_cast<std::int8_t>(mark ? p.marksOnBase + 1 : 0);
        if (const std::int8_t pull = direction(code); pull == 'L' || pull == 'R')
            p.strong = pull;
        afterSpace = code == U' ';
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
        return std::string(code == 0x7F ? delName : controlNames[code]);
    const int marks = m_position.marksOnBase;
    const bool boxed = mark ? marks < 0 || marks >= marksShownOnABase || ignorable(code) ||
                                  (m_drawable && !m_drawable(code))
                            : mustTranslate(code, m_drawable);
    if (boxed)
        return "U+" + hex(code, code > 0xFFFF ? (code > 0xFFFFF ? 6 : 5) : 4);
    return {};
}

std::string displayText(LineView line, Drawable drawable)
{
    std::string text;
    LineWalker walker(line, drawable);
    Piece piece;
    while (walker.next(piece))
        text += piece.text;
    return text;
}

} // namespace kestran::notation
