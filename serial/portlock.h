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

#include <string>
#include <sys/types.h>
#include <vector>

namespace kestran::serial {

struct Holder {
    pid_t pid = 0;        // 0 when unknown
    std::string program;  // the holder's command name, when known
    std::string lockFile; // the lock file that holds the port, if one does
    enum class Kind {
        process,    // a running program (pid), or one we cannot name
        noProcess,  // a lock file that names no running program
        unreadable, // a lock file this user may not read
        notAFile,   // something in the lock file's place that is not a regular file
    } kind = Kind::process;
    std::string owner; // the user a lock file belongs to, when it matters
};

// What a lock file says: the PID it names, or 0 when it names none.
struct LockFileContent {
    enum class State { absent, regular, unreadable, notAFile } state = State::absent;
    pid_t pid = 0;
};
LockFileContent readLockFile(const std::string& path);

// The lock files that name a port: the UUCP convention names the last part
// of the path (LCK..ttyUSB0); Qt names the path below /dev with '_' for '/'
// (LCK..pts_3, LCK..serial_by-id_usb-…).
std::vector<std::string> lockFilesFor(const std::string& path);

// Who holds the port by a lock file, if anyone. A lock file of a dead
// process is removed on the way, as its owner can no longer do it.
bool lockFileHolder(const std::vector<std::string>& names, Holder& holder);

// Who holds an flock on the device, from /proc/locks, which every user may
// read; and, failing that, any other process with the device open that this
// user may see.
Holder flockHolder(const std::string& device);
// Whether another process holds an flock on the device, seen without opening it.
bool flockedByAnother(const std::string& device, Holder& holder);

// Takes an flock on an open descriptor; false when another process has one.
bool lockDescriptor(int descriptor);

bool processAlive(pid_t pid);
std::string commandOf(pid_t pid);

// The device a name resolves to; the name itself when it resolves to nothing.
std::string resolveDevice(const std::string& name);

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
