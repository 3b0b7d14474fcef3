// SPDX-License-Identifier: MIT
#include "serial/portmessages.h"

#include "serial/portdevice.h"

namespace kestran::serial {

namespace {

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

} // namespace

QString listPortsHint()
{
    return QStringLiteral("kestran --list-ports lists the serial ports.");
}

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
    return QStringLiteral("No port was named. Name one, for example: kestran %1")
        .arg(defaultPortName());
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

QString cannotOpen(const QString& name, const QString& why)
{
    return QStringLiteral("%1 cannot be opened: %2. %3").arg(name, why, listPortsHint());
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
