// SPDX-License-Identifier: MIT
// However a line's bytes are shown, each piece must give back exactly the
// bytes it stands for, so that two lines that differ never show alike: plain
// pieces are the bytes themselves, valid UTF-8 with nothing in them that could
// hide, reorder or break the row, and no mark at their start to fall on what
// stands before; translated pieces name their bytes. A walk resumed from any
// position it reached must go on as the whole walk did.

#include "check.h"
#include "notation/display.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The bytes a translated piece names, as a reader takes them back.
std::string bytesNamed(const std::string& text)
{
    static const char* const names[] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",  "DEL"};
    for (int i = 0; i < 33; ++i)
        if (text == names[i])
            return std::string(1, static_cast<char>(i == 32 ? 0x7F : i));
    if (text.rfind("\\x", 0) == 0 && text.size() == 4)
        return std::string(1, static_cast<char>(std::stoi(text.substr(2), nullptr, 16)));
    FUZZ_CHECK(text.rfind("U+", 0) == 0 && text.size() >= 6);
    char utf8[4];
    int32_t length = 0;
    UBool error = false;
    U8_APPEND(utf8, length, 4, std::stoi(text.substr(2), nullptr, 16), error);
    FUZZ_CHECK(!error);
    return std::string(utf8, static_cast<std::size_t>(length));
}

// Valid UTF-8; no control, format character, separator or default-ignorable
// code point; no mark first, and at most three in a row.
void checkPlain(const std::string& text)
{
    int marks = 0;
    for (int32_t i = 0; i < static_cast<int32_t>(text.size());) {
        const bool first = i == 0;
        UChar32 code = 0;
        U8_NEXT(text.data(), i, static_cast<int32_t>(text.size()), code);
        FUZZ_CHECK(code >= 0x20);
        const auto category = U_GET_GC_MASK(code);
        FUZZ_CHECK(!(category & (U_GC_CC_MASK | U_GC_CF_MASK | U_GC_ZL_MASK | U_GC_ZP_MASK)));
        FUZZ_CHECK(!u_hasBinaryProperty(code, UCHAR_DEFAULT_IGNORABLE_CODE_POINT));
        marks = category & U_GC_M_MASK ? marks + 1 : 0;
        FUZZ_CHECK(marks <= 3 && !(first && marks > 0));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const kestran::notation::FormedLine line{std::string(reinterpret_cast<const char*>(data), size),
                                             size % 3 ? size : 0};
    kestran::notation::LineWalker walker(line);
    std::vector<kestran::notation::Piece> pieces;
    std::vector<kestran::notation::WalkPosition> positions;
    std::size_t at = 0;
    for (kestran::notation::Piece piece; walker.next(piece); at += piece.size) {
        const std::string bytes = line.payload.substr(piece.at, piece.size);
        const bool first = pieces.empty();
        FUZZ_CHECK(piece.at == at);
        if (!piece.translated)
            checkPlain(piece.text);
        // The words stand first and last, and for no byte of the payload.
        const bool word = !piece.translated && piece.size == 0;
        FUZZ_CHECK(first == word || (word && piece.text == "CRLF"));
        FUZZ_CHECK(!word || piece.text == (first ? "STX" : "CRLF"));
        FUZZ_CHECK(!piece.translated ? word || piece.text == bytes
                   : piece.size == 0 ? piece.text == "\xE2\x80\xA6[" + std::to_string(size) +
                                                         " more bytes not kept]"
                                     : bytesNamed(piece.text) == bytes);
        pieces.push_back(piece);
        positions.push_back(walker.position());
    }
    FUZZ_CHECK(at == line.payload.size() && pieces.back().text == "CRLF");
    kestran::notation::LineWalker resumed(line, nullptr, positions[pieces.size() / 2]);
    for (std::size_t i = pieces.size() / 2 + 1; i < pieces.size(); ++i) {
        kestran::notation::Piece piece;
        FUZZ_CHECK(resumed.next(piece) && piece.text == pieces[i].text && piece.at == pieces[i].at);
    }
    return 0;
}
