// The text a line shows must be valid UTF-8 without any control character,
// and must give back exactly the bytes it was made from: nothing dropped,
// nothing merged.

#include "check.h"
#include "notation/notation.h"

#include <cstdint>
#include <iconv.h>
#include <string>

namespace {

// Judged by the C library's converter, not by our own decoder.
bool validUtf8(const std::string& text)
{
    iconv_t converter = iconv_open("UTF-32LE", "UTF-8");
    FUZZ_CHECK(converter != reinterpret_cast<iconv_t>(-1));
    std::string in = text;
    std::string out(text.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    return result != static_cast<std::size_t>(-1) && inLeft == 0;
}

int hexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

// Undoes the escapes and control pictures.
std::string bytesBehind(const std::string& shown)
{
    std::string bytes;
    for (std::size_t i = 0; i < shown.size();) {
        if (shown.compare(i, 2, "\\x") == 0 && i + 3 < shown.size() &&
            hexValue(shown[i + 2]) >= 0 && hexValue(shown[i + 3]) >= 0) {
            bytes += static_cast<char>(hexValue(shown[i + 2]) * 16 + hexValue(shown[i + 3]));
            i += 4;
        } else if (shown.compare(i, 2, "\xE2\x90") == 0 && i + 2 < shown.size() &&
                   static_cast<unsigned char>(shown[i + 2]) >= 0x80 &&
                   static_cast<unsigned char>(shown[i + 2]) <= 0xA1) {
            const int picture = static_cast<unsigned char>(shown[i + 2]) - 0x80;
            bytes += static_cast<char>(picture == 0x21 ? 0x7F : picture);
            i += 3;
        } else {
            bytes += shown[i++];
        }
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string shown = kestran::notation::displayText(line);
    FUZZ_CHECK(validUtf8(shown));
    for (const char c : shown)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    FUZZ_CHECK(shown.size() >= line.size() && shown.size() <= 4 * line.size());
    // Text that already holds an escape or a control picture cannot be told
    // apart from one made here, so only the rest must come back exactly.
    if (line.find('\\') == std::string::npos && line.find("\xE2\x90") == std::string::npos)
        FUZZ_CHECK(bytesBehind(shown) == line);

    const std::string cut = kestran::notation::displayText(line + "CRLF", size + 1);
    FUZZ_CHECK(validUtf8(cut));
    FUZZ_CHECK(cut.find(std::to_string(size + 1) + " more bytes not kept]CRLF") !=
               std::string::npos);
    return 0;
}
