// SPDX-License-Identifier: MIT
#pragma once

// What stands behind a port's name, found out without opening it: whether
// it is a serial port at all, which adapter it is, and what the system knows
// of it. Opening a device can have effects of its own (a watchdog starts
// counting, a multiplexer makes a new pseudo-terminal), so nothing that is
// not a terminal is ever opened.

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace kestran::serial {

struct DeviceKind {
    enum Kind {
        serialPort,
        missing,
        notACharacterDevice,
        multiplexer,         // /dev/ptmx: opening it makes a new pseudo-terminal
        controllingTerminal, // /dev/tty: whatever terminal the program was started from
        notATerminal,        // another kind of character device; `subsystem` says which
    } kind = serialPort;
    std::string subsystem;
};
DeviceKind classifyDevice(const std::string& device);

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

// The adapter's own delay before it passes on what it received, in
// milliseconds, for USB adapters whose driver shows it in sysfs; -1 when
// unknown.
int latencyTimerMs(const QString& ttyName);

} // namespace kestran::serial
