// SPDX-License-Identifier: MIT
#include "serial/portmessages.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <grp.h>
#include <sys/stat.h>

namespace kestran::serial {

namespace {

// The stable names udev gives each device, by the device they point to.
QString byIdName(const QString& device)
{
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() == device)
            return link.absoluteFilePath();
    }
    return {};
}

} // namespace

QString portList()
{
    QStringList lines;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        QStringList known;
        for (const QString& fact : {port.description(), port.manufacturer()}) {
            if (!fact.isEmpty() && !known.contains(fact))
                known << fact;
        }
        if (!port.serialNumber().isEmpty())
            known << QStringLiteral("serial number %1").arg(port.serialNumber());
        const QString stable = byIdName(port.systemLocation());
        if (!stable.isEmpty())
            known << stable;
        lines << (known.isEmpty()
                      ? port.systemLocation()
                      : QStringLiteral("%1  (%2)")
                            .arg(port.systemLocation(), known.join(QStringLiteral(", "))));
    }
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

QString missingPort(const QString& name)
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    QString text = QStringLiteral("%1 does not exist. Is the device plugged in?").arg(name);
    if (ports.isEmpty())
        return text + QStringLiteral("\nNo serial ports were found on this computer.");
    return text + QStringLiteral("\nSerial ports on this computer:\n") + portList() +
           QStringLiteral("\nStart KESTRAN on one of them, for example: kestran %1")
               .arg(ports.first().systemLocation());
}

QString notASerialPort(const QString& name)
{
    return QStringLiteral("%1 is not a serial port.").arg(name);
}

QString permissionDenied(const QString& device)
{
    struct stat info {};
    const group* owner =
        ::stat(device.toLocal8Bit().constData(), &info) == 0 ? ::getgrgid(info.st_gid) : nullptr;
    if (!owner)
        return QStringLiteral("You may not use %1.").arg(device);
    const QString group = QString::fromLocal8Bit(owner->gr_name);
    return QStringLiteral(
               "You may not use %1: it belongs to the group %2, and you are not in it. "
               "Join the group with: sudo usermod -aG %2 $USER, then log out and in again.")
        .arg(device, group);
}

QString portBusy(const QString& name, const Holder& holder)
{
    const QString lockFile = QString::fromStdString(holder.lockFile);
    if (holder.pid > 0) {
        const QString who = holder.program.empty()
                                ? QStringLiteral("process %1").arg(holder.pid)
                                : QStringLiteral("%1 (process %2)")
                                      .arg(QString::fromStdString(holder.program))
                                      .arg(holder.pid);
        return QStringLiteral("%1 is in use by %2.").arg(name, who);
    }
    if (!lockFile.isEmpty())
        return QStringLiteral("%1 is locked by %2, which names no running program. If no other "
                              "program uses the port, remove it with: sudo rm %2")
            .arg(name, lockFile);
    return QStringLiteral("%1 is in use by another program.").arg(name);
}

QString deviceDisconnected()
{
    return QStringLiteral("The device was disconnected.");
}

} // namespace kestran::serial
