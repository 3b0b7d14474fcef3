// SPDX-License-Identifier: MIT
#pragma once

// What stands behind a port's name, found out without opening it: which
// adapter it is, and what the system knows of the serial ports there are.

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace kestran::serial {

// The port opened when none is named; fixed when the program is built.
QString defaultPortName();
// The line settings, as a log or a message names them.
QString lineSettings();

// The device a name stands for (a link followed to its end); the name itself
// when it stands for nothing.
std::string resolveDevice(const QString& name);
bool deviceExists(const std::string& device);

// What tells one adapter from another: the USB vendor and product, the
// serial number, and where it is plugged in. A pseudo-terminal has none of
// these and is known by its name alone.
struct DeviceIdentity {
    QString vendor, product, serialNumber, path;
    bool known() const { return !vendor.isEmpty() || !serialNumber.isEmpty() || !path.isEmpty(); }
    // Every fact this identity knows is the same in the other.
    bool matches(const DeviceIdentity& other) const;
    QString describe() const;
};
// The identity of the device a name resolves to, as the system tells it.
DeviceIdentity identityOf(const std::string& device);

// One serial port as --list-ports and the missing port's message show it.
struct PortListing {
    QString location;
    QStringList facts; // description, maker, serial number, stable names, latency
};
std::vector<PortListing> serialPorts();

} // namespace kestran::serial
