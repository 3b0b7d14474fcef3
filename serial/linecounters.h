// SPDX-License-Identifier: MIT
#pragma once

// The kernel's count of what went wrong on the line itself: characters with
// a bad stop bit or parity, characters the UART or the driver had no room
// for, and breaks. A driver without these counters (a pseudo-terminal) has
// simply nothing to report.

#include <cstdint>
#include <string>

namespace kestran::serial {

struct LineCounters {
    std::uint32_t framing = 0, parity = 0, overrun = 0, bufferOverrun = 0, breaks = 0;

    bool any() const { return framing || parity || overrun || bufferOverrun || breaks; }
    // How much each rose since `earlier`.
    LineCounters since(const LineCounters& earlier) const;
    LineCounters& operator+=(const LineCounters& rise);
    // "2 framing errors, 1 overrun"; empty when all are 0.
    std::string describe() const;
};

// The counters of an open port; false when its driver keeps none.
bool readLineCounters(int descriptor, LineCounters& counters);

} // namespace kestran::serial
