// SPDX-License-Identifier: MIT
#include "serial/portdevice.h"

#include <QFileInfo>

namespace kestran::serial {

QString defaultPortName()
{
    return QStringLiteral(KESTRAN_DEFAULT_PORT);
}

QString lineSettings()
{
    return QStringLiteral("9600 bit/s, 8 data bits, no parity, 1 stop bit, no flow control");
}

bool DeviceIdentity::matches(const DeviceIdentity& other) const
{
    const auto same = [](const QString& mine, const QString& theirs) {
        return mine.isEmpty() || mine == theirs;
    };
    return same(vendor, other.vendor) && same(product, other.product) &&
           same(serialNumber, other.serialNumber) &&
           (!serialNumber.isEmpty() || same(path, other.path));
}

QString DeviceIdentity::describe() const
{
    if (!serialNumber.isEmpty())
        return QStringLiteral("serial %1").arg(serialNumber);
    QString text = vendor.isEmpty() ? QString() : QStringLiteral("%1:%2").arg(vendor, product);
    if (!path.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) +
                QStringLiteral("at %1").arg(QFileInfo(path).fileName());
    return text;
}

} // namespace kestran::serial
