// SPDX-License-Identifier: MIT
// Opening the port, and opening it again once the same adapter is back:
// what the name stands for, who holds it, and the one open of the device.

#include "serial/qtserialport.h"

#include "serial/portmessages.h"

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace kestran::serial {

using terminal::CommEvent;
using terminal::PortFault;

namespace {

bool tooLong(const QString& name)
{
    const QByteArray path = name.toLocal8Bit();
    if (path.size() >= PATH_MAX)
        return true;
    for (const QByteArray& part : path.split('/')) {
        if (part.size() > NAME_MAX)
            return true;
    }
    return false;
}

// Qt names a lock file of its own after the path it opens. "/dev//ttyUSB0"
// opens the same device as "/dev/ttyUSB0" and gives Qt's file a name that no
// other program reads (LCK.._ttyUSB0), so the UUCP file that others do read
// (LCK..ttyUSB0) is ours alone to write and to remove.
QString pathForQt(const std::string& device)
{
    const QString path = QString::fromStdString(device);
    return path.startsWith(QLatin1String("/dev/")) ? QStringLiteral("/dev/") + path.mid(4) : path;
}

} // namespace

bool QtSerialPort::fail(PortFault fault, const QString& text)
{
    m_error = {fault, text.toStdString()};
    return false;
}

bool QtSerialPort::busy(const Holder& holder)
{
    m_holder = holder;
    return fail(PortFault::busy, portBusy(m_name, holder));
}

bool QtSerialPort::openPort()
{
    if (m_name.isEmpty())
        return fail(PortFault::noName, noPortNamed());
    if (tooLong(m_name))
        return fail(PortFault::noName, nameTooLong());
    m_device = resolveDevice(m_name.toStdString());
    const DeviceKind kind = classifyDevice(m_device);
    if (kind.kind == DeviceKind::missing)
        return fail(PortFault::missing, missingPort(m_name, serialPorts()));
    if (kind.kind != DeviceKind::serialPort)
        return fail(PortFault::notASerialPort, notASerialPort(m_name, kind));
    std::vector<std::string> names = {m_name.toStdString()};
    if (m_device != names.front())
        names.push_back(m_device);
    Holder holder;
    std::string problem;
    if (lockFileHolder(names, holder))
        return busy(holder);
    // Opening a peer's line just to find its flock would put our settings on
    // it, and our close would clear its exclusive mode.
    if (flockedByAnother(m_device, holder))
        return busy(holder);
    switch (m_locks.take(names, holder, problem)) {
    case OwnLocks::Result::held:
        return busy(holder);
    case OwnLocks::Result::directoryUnwritable:
        stateOnce(lockDirectoryUnwritable(m_name, QString::fromStdString(problem)));
        break;
    case OwnLocks::Result::taken:
        break;
    }
    if (!openDevice()) {
        m_locks.release();
        return false;
    }
    return true;
}

// The one open of the device: through QSerialPort, which sets exclusive
// mode and the line settings, then an flock on that same descriptor before
// anything is written. A second open, even a brief one to test for a lock,
// would drop and raise DTR, and reset a board that resets on DTR.
bool QtSerialPort::openDevice()
{
    const QString device = QString::fromStdString(m_device);
    m_port.setPortName(pathForQt(m_device));
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_port.error();
        if (::access(m_device.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
            return fail(PortFault::permission, permissionDenied(device, accessTo(device)));
        if (error == QSerialPort::PermissionError) // held in exclusive mode, or by Qt's own lock
            return busy(flockHolder(m_device));
        if (error == QSerialPort::DeviceNotFoundError)
            return fail(PortFault::missing, missingPort(m_name, serialPorts()));
        return fail(PortFault::other, QStringLiteral("%1 cannot be opened: %2. %3")
                                          .arg(m_name, m_port.errorString(),
                                               QStringLiteral("kestran --list-ports lists the "
                                                              "serial ports.")));
    }
    const int descriptor = static_cast<int>(m_port.handle());
    if (!lockDescriptor(descriptor)) {
        const Holder holder = flockHolder(m_device);
        m_port.close();
        return busy(holder);
    }
    watchForHangUp(descriptor);
    m_countersKept = readLineCounters(descriptor, m_counterBase);
    if (!m_identity.known())
        m_identity = m_identityOf(m_device);
    return true;
}

void QtSerialPort::stateOnce(const QString& text)
{
    if (text == m_toldState)
        return;
    m_toldState = text;
    emit portState(text);
}

void QtSerialPort::lookForDevice()
{
    if (!m_lost)
        return;
    const std::string device = resolveDevice(m_name.toStdString());
    if (classifyDevice(device).kind == DeviceKind::missing)
        return; // gone for now: the next change in its folders brings a look
    if (m_identity.known()) {
        const DeviceIdentity found = m_identityOf(device);
        if (!m_identity.matches(found)) {
            stateOnce(differentDevice(m_name, found, m_identity));
            return;
        }
    }
    if (!openPort()) {
        if (m_error.fault == PortFault::busy)
            stateOnce(heldAfterLoss(m_name, m_holder));
        // Refused by a lock file, the look made none of its own.
        m_replug.lookAgainLater(m_error.fault == PortFault::busy && !m_holder.lockFile.empty());
        return;
    }
    m_replug.stop();
    m_lost = false;
    m_toldState.clear();
    m_event = CommEvent::comEvReopened;
    emit onComm();
}

} // namespace kestran::serial
