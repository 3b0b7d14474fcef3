// SPDX-License-Identifier: MIT
#include "serial/portdevice_unix.h"
#include "serial/portdevice.h"

#include "notation/spelling.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kestran::serial {

namespace {

// Unix98 pseudo-terminals: majors 136 to 143, not in sysfs.
constexpr unsigned firstPtyMajor = 136;
constexpr unsigned lastPtyMajor = 143;

// The links udev makes for a device in one of /dev/serial's folders.
QString linkIn(const QString& folder, const QString& device)
{
    for (const QFileInfo& link : QDir(folder).entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() == device)
            return link.absoluteFilePath();
    }
    return {};
}

// The adapter's own delay before it passes on what it received, in
// milliseconds, for USB adapters whose driver shows it in sysfs; -1 when
// unknown.
int latencyTimerMs(const QString& ttyName)
{
    QFile timer(QStringLiteral("/sys/class/tty/%1/device/latency_timer").arg(ttyName));
    if (!timer.open(QIODevice::ReadOnly))
        return -1;
    bool number = false;
    const int ms = timer.read(16).trimmed().toInt(&number);
    return number ? ms : -1;
}

QString hex4(quint16 value)
{
    return QString::fromStdString(notation::hex(value, 4));
}

} // namespace

DeviceKind classifyDevice(const std::string& device)
{
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0)
        return {DeviceKind::missing, {}};
    if (!S_ISCHR(info.st_mode))
        return {DeviceKind::notACharacterDevice, {}};
    const unsigned deviceMajor = major(info.st_rdev);
    const unsigned deviceMinor = minor(info.st_rdev);
    if (deviceMajor >= firstPtyMajor && deviceMajor <= lastPtyMajor)
        return {DeviceKind::serialPort, {}};
    if (deviceMajor == 5 && deviceMinor == 2)
        return {DeviceKind::multiplexer, {}};
    if (deviceMajor == 5 && deviceMinor == 0)
        return {DeviceKind::controllingTerminal, {}};
    // Every other character device has a class in sysfs; a port's is tty.
    const std::string node =
        "/sys/dev/char/" + std::to_string(deviceMajor) + ":" + std::to_string(deviceMinor);
    char subsystem[PATH_MAX];
    if (!::realpath((node + "/subsystem").c_str(), subsystem))
        return {DeviceKind::serialPort, {}}; // no sysfs to ask: opening will tell
    const std::string name(subsystem);
    const std::string last = name.substr(name.rfind('/') + 1);
    if (last == "tty")
        return {DeviceKind::serialPort, {}};
    return {DeviceKind::notATerminal, last};
}

std::string resolveDevice(const QString& name)
{
    char resolved[PATH_MAX];
    const QByteArray path = name.toLocal8Bit();
    return ::realpath(path.constData(), resolved) ? std::string(resolved) : path.toStdString();
}

bool deviceExists(const std::string& device)
{
    struct stat info {};
    return ::stat(device.c_str(), &info) == 0;
}

DeviceIdentity identityOf(const std::string& device)
{
    const QString location = QString::fromStdString(device);
    DeviceIdentity identity;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        if (port.systemLocation() != location)
            continue;
        if (port.hasVendorIdentifier())
            identity.vendor = hex4(port.vendorIdentifier());
        if (port.hasProductIdentifier())
            identity.product = hex4(port.productIdentifier());
        identity.serialNumber = port.serialNumber();
    }
    identity.path = linkIn(QStringLiteral("/dev/serial/by-path"), location);
    return identity;
}

std::vector<PortListing> serialPorts()
{
    std::vector<PortListing> ports;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        PortListing listing{port.systemLocation(), {}};
        for (const QString& fact : {port.description(), port.manufacturer()}) {
            if (!fact.isEmpty() && !listing.facts.contains(fact))
                listing.facts << fact;
        }
        if (!port.serialNumber().isEmpty())
            listing.facts << QStringLiteral("serial number %1").arg(port.serialNumber());
        const QString stable = linkIn(QStringLiteral("/dev/serial/by-id"), port.systemLocation());
        if (!stable.isEmpty())
            listing.facts << stable;
        const int latency = latencyTimerMs(port.portName());
        if (latency >= 0)
            listing.facts << QStringLiteral("latency %1 ms: each reply may wait up to %1 ms in "
                                            "the adapter")
                                 .arg(latency);
        ports.push_back(listing);
    }
    return ports;
}

} // namespace kestran::serial
