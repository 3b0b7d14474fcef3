// SPDX-License-Identifier: MIT
#include "serial/portmessages_unix.h"

#include "serial/portmessages.h"

#include <QFileInfo>

#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestran::serial {

namespace {

QString modeText(mode_t mode)
{
    QString text = QStringLiteral("crw-rw-rw-");
    for (int bit = 0; bit < 9; ++bit) {
        if (!(mode & (0400 >> bit)))
            text[1 + bit] = QLatin1Char('-');
    }
    return text;
}

} // namespace

QString notASerialPort(const QString& name, const DeviceKind& kind)
{
    switch (kind.kind) {
    case DeviceKind::multiplexer:
        return QStringLiteral("%1 is not a serial port: opening it makes a new pseudo-terminal. "
                              "A program that plays a device names the /dev/pts/N port to open.")
            .arg(name);
    case DeviceKind::controllingTerminal:
        return QStringLiteral("%1 is not a serial port: it stands for the terminal a program was "
                              "started from. %2")
            .arg(name, listPortsHint());
    case DeviceKind::notATerminal:
        return QStringLiteral("%1 is not a serial port but a device of the kind \"%2\". %3")
            .arg(name, QString::fromStdString(kind.subsystem), listPortsHint());
    default:
        return QStringLiteral("%1 is not a serial port. %2").arg(name, listPortsHint());
    }
}

Access accessTo(const QString& device)
{
    Access access;
    struct stat info {};
    if (::stat(device.toLocal8Bit().constData(), &info) != 0)
        return access;
    access.owner = info.st_uid;
    access.group = info.st_gid;
    access.mode = info.st_mode & 07777;
    const passwd* owner = ::getpwuid(info.st_uid);
    const group* byGroup = ::getgrgid(info.st_gid);
    access.ownerName =
        owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(info.st_uid);
    access.groupName =
        byGroup ? QString::fromLocal8Bit(byGroup->gr_name) : QString::number(info.st_gid);
    std::vector<gid_t> now(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    now.resize(static_cast<std::size_t>(
        std::max(::getgroups(static_cast<int>(now.size()), now.data()), 0)));
    access.inGroupNow =
        ::getegid() == info.st_gid || std::find(now.begin(), now.end(), info.st_gid) != now.end();
    access.inGroupListed = access.inGroupNow;
    if (const passwd* me = ::getpwuid(::geteuid()); me && byGroup) {
        for (char** member = byGroup->gr_mem; *member && !access.inGroupListed; ++member)
            access.inGroupListed =
                QString::fromLocal8Bit(*member) == QString::fromLocal8Bit(me->pw_name);
        access.inGroupListed = access.inGroupListed || me->pw_gid == info.st_gid;
    }
    return access;
}

QString permissionDenied(const QString& device, const Access& access)
{
    // Joining helps only where the group may read and write; root and tty
    // are never groups to hand a user.
    const bool groupCanUse =
        (access.mode & 060) == 060 && access.group != 0 && access.groupName != QLatin1String("tty");
    if (groupCanUse && !access.inGroupListed)
        return QStringLiteral("You may not use %1: it belongs to the group %2, and you are not in "
                              "it. Join the group with: sudo usermod -aG %2 $USER, then log out "
                              "and in again.")
            .arg(device, access.groupName);
    if (groupCanUse && !access.inGroupNow)
        return QStringLiteral("You may not use %1 yet: you are in the group %2, but this session "
                              "began before you joined it. Log out and in again, or start "
                              "KESTRAN under: newgrp %2")
            .arg(device, access.groupName);
    return QStringLiteral("You may not use %1: it belongs to %2:%3 with mode %4 (%5), which does "
                          "not let you read and write it. Ask an administrator for a udev rule "
                          "that gives a group of yours both, for example in "
                          "/etc/udev/rules.d/60-serial.rules: KERNEL==\"%6\", GROUP=\"dialout\", "
                          "MODE=\"0660\"")
        .arg(device, access.ownerName, access.groupName,
             QStringLiteral("%1").arg(access.mode, 4, 8, QLatin1Char('0')), modeText(access.mode),
             QFileInfo(device).fileName());
}

QString lockDirectoryUnwritable(const QString& name, const QString& problem)
{
    return QStringLiteral("%1 is open, but %2, so programs that look for lock files cannot see "
                          "that KESTRAN uses it; its flock and exclusive mode still keep others "
                          "out.")
        .arg(name, problem);
}

} // namespace kestran::serial
