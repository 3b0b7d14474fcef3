// SPDX-License-Identifier: MIT
#include "notation/spelling.h"

namespace kestran::notation {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

// Which bytes stand as themselves in the quotes.
struct Plain {
    bool byte[256] = {};
    constexpr Plain()
    {
        for (int b = 0x20; b < 0x7F; ++b)
            byte[b] = b != '"' && b != '\\';
    }
};
constexpr Plain plain;

} // namespace

std::string hex(unsigned value, int digits)
{
    std::string text;
    do {
        text.insert(text.begin(), hexDigits[value & 0xF]);
        value >>= 4;
    } while (value > 0 || static_cast<int>(text.size()) < digits);
    return text;
}

void appendSpelled(std::string_view bytes, std::string& into)
{
    // Sized for the worst case once, then written in place: a flood goes
    // through here byte by byte.
    const std::size_t start = into.size();
    into.resize(start + 4 * bytes.size());
    char* out = into.data() + start;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (plain.byte[byte]) {
            *out++ = c;
        } else if (byte == '"' || byte == '\\') {
            *out++ = '\\';
            *out++ = c;
        } else {
            *out++ = '\\';
            *out++ = 'x';
            *out++ = hexDigits[byte >> 4];
            *out++ = hexDigits[byte & 15];
        }
    }
    into.resize(static_cast<std::size_t>(out - into.data()));
}

void appendQuoted(std::string_view bytes, std::string& into)
{
    into += '"';
    appendSpelled(bytes, into);
    into += '"';
}

std::string quoted(std::string_view bytes)
{
    std::string text;
    appendQuoted(bytes, text);
    return text;
}

} // namespace kestran::notation
