// SPDX-License-Identifier: MIT
#include "terminal/lineerrors.h"

namespace kestran::terminal {

namespace {

struct KindWords {
    const char* kind; // as a row's details name it
    const char* one;
    const char* many;
};
constexpr KindWords words[lineErrorKinds] = {
    {"framing", "framing error", "framing errors"},
    {"parity", "parity error", "parity errors"},
    {"overrun", "overrun", "overruns"},
    {"buffer overrun", "buffer overrun", "buffer overruns"},
    {"break", "break", "breaks"},
};

} // namespace

bool LineErrors::any() const
{
    for (const std::uint32_t count : counts) {
        if (count > 0)
            return true;
    }
    return false;
}

LineErrors LineErrors::since(const LineErrors& earlier) const
{
    LineErrors rise;
    for (std::size_t i = 0; i < counts.size(); ++i)
        rise.counts[i] = counts[i] > earlier.counts[i] ? counts[i] - earlier.counts[i] : 0;
    return rise;
}

LineErrors& LineErrors::operator+=(const LineErrors& rise)
{
    for (std::size_t i = 0; i < counts.size(); ++i)
        counts[i] += rise.counts[i];
    return *this;
}

std::string LineErrors::describe() const
{
    std::string text;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] > 0)
            text += (text.empty() ? "" : ", ") + std::to_string(counts[i]) + " " +
                    (counts[i] == 1 ? words[i].one : words[i].many);
    }
    return text;
}

std::uint8_t LineErrors::kinds() const
{
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < counts.size(); ++i)
        bits |= static_cast<std::uint8_t>(counts[i] > 0 ? 1u << i : 0u);
    return bits;
}

std::string LineErrors::namesOf(std::uint8_t kinds)
{
    std::string text;
    for (std::size_t i = 0; i < lineErrorKinds; ++i) {
        if (kinds & (1u << i))
            text += (text.empty() ? "" : ", ") + std::string(words[i].kind);
    }
    return text;
}

} // namespace kestran::terminal
