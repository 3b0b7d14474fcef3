// SPDX-License-Identifier: MIT
#pragma once

// The ways programs on Linux hold a serial port, honoured before opening and
// taken while open: a UUCP lock file in /run/lock named after the device
// (LCK..ttyUSB0) holding the owner's PID, and an flock on the device itself.
// A port may be named through a symlink such as /dev/serial/by-id/…, so both
// the name given and the device it resolves to are checked and held.
//
// /run/lock is writable by every local user, so whatever lies there is read
// as hostile: without following links, without waiting on a FIFO, only from
// a regular file, at most a few bytes, and with a strict idea of a PID.

#include "serial/portmessages.h"

#include <string>
#include <vector>

namespace kestran::serial {

// Who holds the port, seen without opening it: a lock file under any of its
// names, or an flock on the device, from /proc/locks, which every user may
// read. A lock file of a dead process is removed on the way, as its owner
// can no longer do it.
bool heldByAnother(const std::vector<std::string>& names, const std::string& device,
                   Holder& holder);

// Takes an flock on the open device; false when another process has one.
bool lockDescriptor(int descriptor);
// Who keeps the device from us once it is open elsewhere: an flock's
// holder, or else any other process with it open that this user may see.
Holder holderOf(const std::string& device);

// Our own lock files, in the UUCP form the other programs write ("%10d\n",
// mode 0644, made with O_EXCL), under the device's name and the link's.
class OwnLocks {
public:
    OwnLocks() = default;
    OwnLocks(const OwnLocks&) = delete;
    OwnLocks& operator=(const OwnLocks&) = delete;
    ~OwnLocks() { release(); }

    enum class Result { taken, held, directoryUnwritable };
    // Takes a lock file for each path's name. `held` fills holder when a
    // live program got there first; `directoryUnwritable` says why in
    // problem, and the port is then held by flock and exclusive mode alone.
    Result take(const std::vector<std::string>& paths, Holder& holder, std::string& problem);
    // Removes each lock file that still names this process, and only those:
    // another program may have put its own in a place ours was taken from.
    void release();

private:
    std::vector<std::string> m_files;
};

} // namespace kestran::serial
