// SPDX-License-Identifier: MIT
#include "notation/notation.h"

namespace kestran::notation {

std::optional<std::string> frameCommand(std::string_view typed)
{
    const std::size_t x = typed.find(startMarker);
    const std::size_t payloadStart = x == std::string_view::npos ? 0 : x + startMarker.size();
    const std::size_t end = typed.find(crlfWord, payloadStart);
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

std::string responseLine(std::string_view payload)
{
    std::string line;
    line.reserve(stxWord.size() + payload.size() + crlfWord.size());
    line.append(stxWord);
    line.append(payload);
    line.append(crlfWord);
    return line;
}

} // namespace kestran::notation
