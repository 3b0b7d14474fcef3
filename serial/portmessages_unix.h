// SPDX-License-Identifier: MIT
#pragma once

// What only Linux has to say of a port: what else a name can stand for, who
// may use a device and how to be let in, and a lock folder that takes no
// lock files.

#include "serial/portdevice_unix.h"

#include <QString>

#include <sys/types.h>

namespace kestran::serial {

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

QString lockDirectoryUnwritable(const QString& name, const QString& problem);

} // namespace kestran::serial
