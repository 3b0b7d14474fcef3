// SPDX-License-Identifier: MIT
#pragma once

// What the terminal needs of a serial port: whether it is open, opening and
// closing it, writing, reading what waits, and the kind of the latest
// notification. Anything that drives a line (a platform's port, a test's
// fake) stands behind it. What is read comes with its own facts: when it was
// read and the line errors that rose with it.

#include "terminal/lineerrors.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestran::terminal {

// The kind of the latest notification.
enum class CommEvent {
    comEvSend = 1,    // the latest frame's last byte has left the port
    comEvReceive = 2, // received bytes are waiting
    comEvLineState = 3,
    comEvError = 1000,    // the line failed: read or write error, device gone
    comEvReopened = 1001, // after a failure, the port is open again
};

// When something happened: by the steady clock, to measure between events,
// and by the wall clock, to say when.
struct Moment {
    std::chrono::steady_clock::time_point steady{};
    std::chrono::system_clock::time_point wall{};
    static Moment now()
    {
        return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()};
    }
};

// What one read took from the port.
struct Chunk {
    std::string bytes;
    Moment at;         // when it was read, before anything else was done with it
    LineErrors errors; // that the driver counted since the read before
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
    virtual Chunk input() = 0;
    virtual CommEvent commEvent() const = 0;
    // At comEvSend: when the frame's last byte left; empty when the port
    // gave up looking before it could see that.
    virtual std::optional<Moment> frameLeft() const = 0;
    // Why the port could not be opened, or why the line failed.
    virtual PortError lastError() const = 0;
};

} // namespace kestran::terminal
