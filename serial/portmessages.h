// SPDX-License-Identifier: MIT
#pragma once

// What the operator is told when a port cannot be used: what is wrong, in
// words that fit the case, and what to do next. Each message is built from
// what it is given, so that every case can be put to it on any machine.
// What only one platform can say stands in portmessages_unix.h.

#include "serial/portdevice.h"

#include <QString>

#include <string>
#include <sys/types.h>
#include <vector>

namespace kestran::serial {

// Who holds a port, as far as the system tells.
struct Holder {
    qint64 pid = 0;       // 0 when unknown
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

// "kestran --list-ports lists the serial ports."
QString listPortsHint();

// The serial ports given, one a line, with what is known of each; or a line
// that says there are none.
QString portList(const std::vector<PortListing>& ports);

QString noPortNamed();
QString nameTooLong();
QString missingPort(const QString& name, const std::vector<PortListing>& ports);
QString cannotOpen(const QString& name, const QString& why);
QString portBusy(const QString& name, const Holder& holder);
QString deviceDisconnected(qint64 unsent);
QString heldAfterLoss(const QString& name, const Holder& holder);
QString differentDevice(const QString& name, const DeviceIdentity& found,
                        const DeviceIdentity& wanted);

} // namespace kestran::serial
