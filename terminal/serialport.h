// SPDX-License-Identifier: MIT
#pragma once

// What the terminal needs of a serial port: whether it is open, opening and
// closing it, writing, reading what waits, and the kind of the latest
// notification. Anything that drives a line (QSerialPort, a test's fake)
// stands behind it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestran::terminal {

// The kind of the latest notification.
enum class CommEvent {
    comEvSend = 1,
    comEvReceive = 2, // received bytes are waiting
    comEvLineState = 3,
    comEvError = 1000,    // the line failed: read or write error, device gone
    comEvReopened = 1001, // after a failure, the port is open again
};

struct PortError {
    int number = 0;
    std::string text;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual bool portOpen() const = 0;
    // Opens the port with its fixed line settings; the error when it cannot.
    virtual std::optional<PortError> openPort() = 0;
    virtual void closePort() = 0;
    // Writes the bytes unchanged, in order, in one write.
    virtual void output(std::string_view bytes) = 0;
    // Bytes written that have not gone out yet.
    virtual std::size_t outputWaiting() const = 0;
    // Every byte now waiting, removed from the port; empty when none waits.
    virtual std::string input() = 0;
    virtual CommEvent commEvent() const = 0;
    // Why the line failed; meaningful after a comEvError notification.
    virtual PortError lastError() const = 0;
};

} // namespace kestran::terminal
