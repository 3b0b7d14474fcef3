// SPDX-License-Identifier: MIT
#pragma once

// What the operator is told when a port cannot be used: what is wrong, in
// words that fit the case, and what to do next. Each message is built from
// what it is given, so that every case can be put to it on any machine.

#include "serial/portdevice.h"
#include "serial/portlock.h"

#include <QString>

#include <sys/types.h>
#include <vector>

namespace kestran::serial {

// The serial ports given, one a line, with what is known of each; or a line
// that says there are none.
QString portList(const std::vector<PortListing>& ports);

QString noPortNamed();
QString nameTooLong();
QString missingPort(const QString& name, const std::vector<PortListing>& ports);
QString notASerialPort(const QString& name, const DeviceKind& kind);

// Who may use a device, and what this user is, as the advice needs them.
struct Access {
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;
    QString ownerName, groupName;
    bool inGroupNow = false;    // this process has the group already
    bool inGroupListed = false; // the user is listed in it, perhaps since this session began
};
Access accessTo(const QString& device);
QString permissionDenied(const QString& device, const Access& access);

QString portBusy(const QString& name, const Holder& holder);
QString lockDirectoryUnwritable(const QString& name, const QString& problem);
QString deviceDisconnected(qint64 unsent);
QString heldAfterLoss(const QString& name, const Holder& holder);
QString differentDevice(const QString& name, const DeviceIdentity& found,
                        const DeviceIdentity& wanted);

} // namespace kestran::serial
