// SPDX-License-Identifier: MIT
#pragma once

// What went wrong on the line itself while bytes came: characters with a bad
// stop bit or parity, characters the UART or the driver had no room for, and
// breaks. This is the one place that names the kinds; a driver that counts
// none of them (a pseudo-terminal) simply has nothing to report.

#include <array>
#include <cstdint>
#include <string>

namespace kestran::terminal {

enum class LineError { framing, parity, overrun, bufferOverrun, brk };
inline constexpr int lineErrorKinds = 5;

struct LineErrors {
    std::array<std::uint32_t, lineErrorKinds> counts{};

    std::uint32_t& operator[](LineError kind) { return counts[static_cast<std::size_t>(kind)]; }
    std::uint32_t operator[](LineError kind) const
    {
        return counts[static_cast<std::size_t>(kind)];
    }
    bool any() const;
    // How much each rose since `earlier`; a counter that went back (a driver
    // that started again from 0) rose by nothing.
    LineErrors since(const LineErrors& earlier) const;
    LineErrors& operator+=(const LineErrors& rise);
    // "2 framing errors, 1 overrun"; empty when there are none.
    std::string describe() const;

    // The kinds seen, one bit each, and their names from such bits:
    // "framing, overrun"; empty for none.
    std::uint8_t kinds() const;
    static std::string namesOf(std::uint8_t kinds);
};

} // namespace kestran::terminal
