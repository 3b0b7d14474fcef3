// SPDX-License-Identifier: MIT
#pragma once

// What the terminal needs of a serial port: whether it is open, opening and
// closing it, writing, reading what waits, and the kind of the latest
// notification. Anything that drives a line (QSerialPort, a test's fake)
// stands behind it.

#include <cstddef>
#include <string>
#include <string_view>

namespace kestran::terminal {

// The kind of the latest notification.
enum class CommEvent {
    comEvReceive = 2, // received bytes are waiting
    comEvLineState = 3,
    comEvError = 1000,    // the line failed: read or write error, device gone
    comEvReopened = 1001, // after a failure, the port is open again
};

// Why a port cannot be used, by the numbers the manual page lists. They are
// the program's own: the operator reads them, and they must not change with
// the library underneath.
enum class PortFault {
    none = 0,
    noName = 1,         // no name, or one that cannot be a device
    missing = 2,        // nothing by that name
    notASerialPort = 3, // something that is not a serial port
    permission = 4,     // this user may not read and write it
    busy = 5,           // another program holds it
    lost = 6,           // it stopped working while open
    other = 7,          // whatever else the system reports
};

struct PortError {
    PortFault fault = PortFault::none;
    std::string text;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual bool portOpen() const = 0;
    // Opens the port with its fixed line settings; false when it cannot,
    // and lastError() says why.
    virtual bool openPort() = 0;
    virtual void closePort() = 0;
    // Writes the bytes unchanged, in order, in one write.
    virtual void output(std::string_view bytes) = 0;
    // Bytes written that have not gone out yet.
    virtual std::size_t outputWaiting() const = 0;
    // Every byte now waiting, removed from the port; empty when none waits.
    virtual std::string input() = 0;
    virtual CommEvent commEvent() const = 0;
    // Why the port could not be opened, or why the line failed.
    virtual PortError lastError() const = 0;
};

} // namespace kestran::terminal
