#include "notation/notation.h"

namespace kestran::notation {

namespace {

constexpr std::string_view startMarker = "X";
constexpr std::string_view endMarker = "CRLF";
constexpr std::string_view shownPrefix = "STX";
constexpr std::string_view shownSuffix = "CRLF";

// Length of the valid UTF-8 sequence at the start of s, or 0 when it is not one.
// Rejects overlong forms, surrogates and code points above U+10FFFF.
std::size_t utf8SequenceLength(std::string_view s)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < length)
        return 0;
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

void appendControlPicture(std::string& out, unsigned char code)
{
    // U+2400..U+2421 all lie in one three-byte block: E2 90 80..A1.
    const unsigned picture = code == 0x7F ? 0x21 : code;
    out += '\xE2';
    out += '\x90';
    out += static_cast<char>(0x80 + picture);
}

void appendEscape(std::string& out, unsigned char byte)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[byte >> 4];
    out += hex[byte & 0x0F];
}

void appendDisplayed(std::string& out, std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x20 || byte == 0x7F) {
            appendControlPicture(out, byte);
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(bytes.substr(i));
        if (length == 0) {
            appendEscape(out, byte);
            ++i;
            continue;
        }
        out.append(bytes.data() + i, length);
        i += length;
    }
}

} // namespace

std::optional<std::string> frameCommand(std::string_view typed)
{
    const std::size_t x = typed.find(startMarker);
    const std::size_t payloadStart = x == std::string_view::npos ? 0 : x + startMarker.size();
    const std::size_t end = typed.find(endMarker, payloadStart);
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string frame;
    frame.reserve(end - payloadStart + 3);
    frame += STX;
    frame.append(typed.substr(payloadStart, end - payloadStart));
    frame += CR;
    frame += LF;
    return frame;
}

std::optional<std::string> formatResponse(std::string_view collected)
{
    const std::size_t stx = collected.find(STX);
    const std::size_t payloadStart = stx == std::string_view::npos ? 0 : stx + 1;
    const std::size_t cr = collected.find(CR, payloadStart);
    if (cr == std::string_view::npos)
        return std::nullopt;
    return responseLine(collected.substr(payloadStart, cr - payloadStart));
}

std::string responseLine(std::string_view payload)
{
    std::string line;
    line.reserve(shownPrefix.size() + payload.size() + shownSuffix.size());
    line.append(shownPrefix);
    line.append(payload);
    line.append(shownSuffix);
    return line;
}

std::string displayText(std::string_view line, std::size_t cutBytes)
{
    std::string out;
    out.reserve(line.size() + 16);
    const bool noteCut = cutBytes > 0 && line.size() >= shownSuffix.size() &&
                         line.substr(line.size() - shownSuffix.size()) == shownSuffix;
    if (!noteCut) {
        appendDisplayed(out, line);
        return out;
    }
    appendDisplayed(out, line.substr(0, line.size() - shownSuffix.size()));
    out += "\xE2\x80\xA6[" + std::to_string(cutBytes) + " more bytes not kept]";
    out.append(shownSuffix);
    return out;
}

} // namespace kestran::notation
