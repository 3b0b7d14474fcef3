// SPDX-License-Identifier: MIT
#pragma once

// The ways programs on Linux hold a serial port, honoured before opening and
// taken while open: a UUCP lock file in /run/lock named after the device
// (LCK..ttyUSB0) holding the owner's PID, and an flock on the device itself.
// A port may be named through a symlink such as /dev/serial/by-id/…, so both
// the name given and the device it resolves to are checked.

#include <optional>
#include <string>

namespace kestran::serial {

struct Holder {
    long pid = 0;         // 0 when unknown
    std::string program;  // the holder's command name, when known
    std::string lockFile; // the lock file that holds the port, if one does
};

// Who holds the port now, or nothing when it is free. A lock file of a dead
// process is removed on the way, as its owner can no longer do it.
std::optional<Holder> findHolder(const std::string& given, const std::string& device);

// Takes an flock on an open descriptor; false when another process has one.
bool lockDescriptor(int descriptor);

// The device a name resolves to; the name itself when it resolves to nothing.
std::string resolveDevice(const std::string& name);

} // namespace kestran::serial
