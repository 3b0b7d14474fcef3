// SPDX-License-Identifier: MIT
#include "serial/linecounters.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace kestran::serial {

LineCounters LineCounters::since(const LineCounters& earlier) const
{
    // Counters only grow while the port is open; a driver that starts again
    // from 0 must not make the difference wrap.
    const auto rise = [](std::uint32_t now, std::uint32_t then) {
        return now > then ? now - then : 0;
    };
    return {rise(framing, earlier.framing), rise(parity, earlier.parity),
            rise(overrun, earlier.overrun), rise(bufferOverrun, earlier.bufferOverrun),
            rise(breaks, earlier.breaks)};
}

LineCounters& LineCounters::operator+=(const LineCounters& rise)
{
    framing += rise.framing;
    parity += rise.parity;
    overrun += rise.overrun;
    bufferOverrun += rise.bufferOverrun;
    breaks += rise.breaks;
    return *this;
}

std::string LineCounters::describe() const
{
    std::string text;
    const auto add = [&](std::uint32_t count, const char* one, const char* many) {
        if (count == 0)
            return;
        text +=
            (text.empty() ? "" : ", ") + std::to_string(count) + " " + (count == 1 ? one : many);
    };
    add(framing, "framing error", "framing errors");
    add(parity, "parity error", "parity errors");
    add(overrun, "overrun", "overruns");
    add(bufferOverrun, "buffer overrun", "buffer overruns");
    add(breaks, "break", "breaks");
    return text;
}

bool readLineCounters(int descriptor, LineCounters& counters)
{
    serial_icounter_struct kernel{};
    if (::ioctl(descriptor, TIOCGICOUNT, &kernel) != 0)
        return false;
    counters = {static_cast<std::uint32_t>(kernel.frame), static_cast<std::uint32_t>(kernel.parity),
                static_cast<std::uint32_t>(kernel.overrun),
                static_cast<std::uint32_t>(kernel.buf_overrun),
                static_cast<std::uint32_t>(kernel.brk)};
    return true;
}

} // namespace kestran::serial
