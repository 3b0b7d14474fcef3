// SPDX-License-Identifier: MIT
// However a line's bytes are shown, each piece must give back exactly the
// bytes it stands for, so that two lines that differ never show alike: plain
// pieces are the bytes themselves, valid UTF-8 with nothing in them that could
// hide, reorder or break the row; translated pieces name their bytes. A walk
// resumed from any position it reached must go on as the whole walk did.

#include "check.h"
#include "notation/display.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using kestran::notation::Piece;

constexpr const char* names[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",
                                 "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1",
                                 "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB",
                                 "ESC", "FS",  "GS",  "RS",  "US"};

// The bytes a translated piece names, as the reader would take them back.
std::string bytesNamed(const std::string& text)
{
    if (text == "DEL")
        return "\x7F";
    for (int i = 0; i < 32; ++i)
        if (text == names[i])
            return std::string(1, static_cast<char>(i));
    if (text.size() == 4 && text.compare(0, 2, "\\x") == 0)
        return std::string(1, static_cast<char>(std::stoi(text.substr(2), nullptr, 16)));
    FUZZ_CHECK(text.compare(0, 2, "U+") == 0 && text.size() >= 6);
    const UChar32 code = std::stoi(text.substr(2), nullptr, 16);
    char utf8[4];
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    UChar units[2];
    int32_t unitCount = 0;
    U16_APPEND_UNSAFE(units, unitCount, code);
    u_strToUTF8(utf8, sizeof utf8, &length, units, unitCount, &error);
    FUZZ_CHECK(U_SUCCESS(error));
    return std::string(utf8, static_cast<std::size_t>(length));
}

void checkPlain(const std::string& text)
{
    int marks = 0;
    for (std::size_t i = 0; i < text.size();) {
        UChar32 code = 0;
        U8_NEXT(text.data(), i, text.size(), code);
        FUZZ_CHECK(code >= 0x20); // valid UTF-8, and no C0 control
        const auto category = u_charType(code);
        FUZZ_CHECK(category != U_CONTROL_CHAR && category != U_FORMAT_CHAR &&
                   category != U_LINE_SEPARATOR && category != U_PARAGRAPH_SEPARATOR);
        const bool mark = category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK ||
                          category == U_COMBINING_SPACING_MARK;
        marks = mark ? marks + 1 : 0;
        FUZZ_CHECK(marks <= 3);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string payload(reinterpret_cast<const char*>(data), size);
    const kestran::notation::FormedLine line{"STX" + payload + "CRLF", size % 3 ? size : 0};
    const kestran::notation::Drawable drawable;
    kestran::notation::LineWalker walker(line, drawable);
    std::vector<Piece> pieces;
    std::vector<kestran::notation::WalkPosition> positions;
    std::size_t at = 0;
    for (Piece piece; walker.next(piece);) {
        FUZZ_CHECK(piece.at == at);
        const std::string bytes = line.bytes.substr(piece.at, piece.size);
        if (!piece.translated) {
            FUZZ_CHECK(piece.text == bytes);
            checkPlain(piece.text);
        } else if (piece.size == 0) {
            FUZZ_CHECK(piece.text == "\xE2\x80\xA6[" + std::to_string(size) + " more bytes not kept]");
        } else {
            FUZZ_CHECK(bytesNamed(piece.text) == bytes);
        }
        at += piece.size;
        pieces.push_back(piece);
        positions.push_back(walker.position());
    }
    FUZZ_CHECK(at == line.bytes.size());

    const std::size_t from = pieces.size() / 2;
    kestran::notation::LineWalker resumed(line, drawable, positions[from]);
    for (std::size_t i = from + 1; i < pieces.size(); ++i) {
        Piece piece;
        FUZZ_CHECK(resumed.next(piece) && piece.text == pieces[i].text && piece.at == pieces[i].at);
    }
    return 0;
}
