// SPDX-License-Identifier: MIT
#pragma once

// What the operator is told when a port cannot be used: what is wrong, in
// words that fit the case, and what to do next.

#include "serial/portlock.h"

#include <QString>

namespace kestran::serial {

// The serial ports on this computer, one a line, with what is known of each;
// or a line that says there are none.
QString portList();

QString noPortNamed();
QString nameTooLong();
QString missingPort(const QString& name);
QString notASerialPort(const QString& name);
QString permissionDenied(const QString& device);
QString portBusy(const QString& name, const Holder& holder);
QString deviceDisconnected();

} // namespace kestran::serial
