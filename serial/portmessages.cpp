// SPDX-License-Identifier: MIT
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

const QString listPorts = QStringLiteral("kestran --list-ports lists the serial ports.");

QString who(const Holder& holder)
{
    if (holder.pid <= 0)
        return QStringLiteral("another program");
    if (holder.program.empty())
        return QStringLiteral("process %1").arg(holder.pid);
    return QStringLiteral("%1 (process %2)")
        .arg(QString::fromStdString(holder.program))
        .arg(holder.pid);
}

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

QString portList(const std::vector<PortListing>& ports)
{
    QStringList lines;
    for (const PortListing& port : ports)
        lines << (port.facts.isEmpty()
                      ? port.location
                      : QStringLiteral("%1  (%2)")
                            .arg(port.location, port.facts.join(QStringLiteral(", "))));
    if (lines.isEmpty())
        return QStringLiteral("No serial ports were found on this computer.");
    return lines.join(QLatin1Char('\n'));
}

QString noPortNamed()
{
    return QStringLiteral("No port was named. Name one, for example: kestran /dev/ttyUSB0");
}

QString nameTooLong()
{
    return QStringLiteral("The port name is too long to be a device on this computer.");
}

QString missingPort(const QString& name, const std::vector<PortListing>& ports)
{
    const QString text = QStringLiteral("%1 does not exist. Is the device plugged in?").arg(name);
    if (ports.empty())
        return text + QStringLiteral("\nNo serial ports were found on this computer.");
    return text + QStringLiteral("\nSerial ports on this computer:\n") + portList(ports) +
           QStringLiteral("\nStart KESTRAN on one of them, for example: kestran %1")
               .arg(ports.front().location);
}

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
            .arg(name, listPorts);
    case DeviceKind::notATerminal:
        return QStringLiteral("%1 is not a serial port but a device of the kind \"%2\". %3")
            .arg(name, QString::fromStdString(kind.subsystem), listPorts);
    default:
        return QStringLiteral("%1 is not a serial port. %2").arg(name, listPorts);
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

QString portBusy(const QString& name, const Holder& holder)
{
    const QString lockFile = QString::fromStdString(holder.lockFile);
    const QString remove = QStringLiteral("If no other program uses the port, remove it with: "
                                          "sudo rm %1")
                               .arg(lockFile);
    switch (holder.kind) {
    case Holder::Kind::noProcess:
        return QStringLiteral("%1 is locked by %2, which names no running program. %3")
            .arg(name, lockFile, remove);
    case Holder::Kind::unreadable:
        return QStringLiteral("%1 is locked by %2, a lock file of %3 that you may not read. %4")
            .arg(name, lockFile, QString::fromStdString(holder.owner), remove);
    case Holder::Kind::notAFile:
        return QStringLiteral("%1 is locked by %2, which is not a lock file but something else in "
                              "its place. %3")
            .arg(name, lockFile, remove);
    case Holder::Kind::process:
        break;
    }
    return QStringLiteral("%1 is in use by %2.").arg(name, who(holder));
}

QString lockDirectoryUnwritable(const QString& name, const QString& problem)
{
    return QStringLiteral("%1 is open, but %2, so programs that look for lock files cannot see "
                          "that KESTRAN uses it; its flock and exclusive mode still keep others "
                          "out.")
        .arg(name, problem);
}

QString deviceDisconnected(qint64 unsent)
{
    if (unsent <= 0)
        return QStringLiteral("The device was disconnected.");
    return QStringLiteral("The device was disconnected; %1 bytes waiting to go out were not sent.")
        .arg(unsent);
}

QString heldAfterLoss(const QString& name, const Holder& holder)
{
    if (holder.kind != Holder::Kind::process)
        return QStringLiteral("%1 is back. ").arg(name) + portBusy(name, holder);
    return QStringLiteral("%1 is back, but %2 holds it now. KESTRAN opens it when it is free.")
        .arg(name, who(holder));
}

QString differentDevice(const QString& name, const DeviceIdentity& found,
                        const DeviceIdentity& wanted)
{
    return QStringLiteral("A different device, %1, is now at %2; KESTRAN waits for %3.")
        .arg(found.known() ? found.describe() : QStringLiteral("with nothing to tell it by"), name,
             wanted.describe());
}

} // namespace kestran::serial
