// SPDX-License-Identifier: MIT
#include "serial/linecounters_unix.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace kestran::serial {

namespace {

using terminal::LineError;

bool read(int descriptor, terminal::LineErrors& counters)
{
    serial_icounter_struct kernel{};
    if (::ioctl(descriptor, TIOCGICOUNT, &kernel) != 0)
        return false;
    counters[LineError::framing] = static_cast<std::uint32_t>(kernel.frame);
    counters[LineError::parity] = static_cast<std::uint32_t>(kernel.parity);
    counters[LineError::overrun] = static_cast<std::uint32_t>(kernel.overrun);
    counters[LineError::bufferOverrun] = static_cast<std::uint32_t>(kernel.buf_overrun);
    counters[LineError::brk] = static_cast<std::uint32_t>(kernel.brk);
    return true;
}

} // namespace

void LineCounters::start(int descriptor)
{
    m_base = {};
    m_kept = read(descriptor, m_base);
}

terminal::LineErrors LineCounters::rise(int descriptor)
{
    terminal::LineErrors now;
    if (!m_kept || !read(descriptor, now))
        return {};
    const terminal::LineErrors risen = now.since(m_base);
    m_base = now;
    return risen;
}

} // namespace kestran::serial
