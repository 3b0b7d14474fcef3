// SPDX-License-Identifier: MIT
#pragma once

// What a name on Linux can stand for besides a serial port. Opening a device
// can have effects of its own (a watchdog starts counting, a multiplexer
// makes a new pseudo-terminal), so nothing that is not a terminal is ever
// opened.

#include <string>

namespace kestran::serial {

struct DeviceKind {
    enum Kind {
        serialPort,
        missing,
        notACharacterDevice,
        multiplexer,         // /dev/ptmx: opening it makes a new pseudo-terminal
        controllingTerminal, // /dev/tty: whatever terminal the program was started from
        notATerminal,        // another kind of character device; `subsystem` says which
    } kind = serialPort;
    std::string subsystem;
};
DeviceKind classifyDevice(const std::string& device);

} // namespace kestran::serial
