// SPDX-License-Identifier: MIT
#include "serial/linedevice.h"

#include "serial/hangupwatch_unix.h"
#include "serial/linecounters_unix.h"
#include "serial/portdevice.h"
#include "serial/portdevice_unix.h"
#include "serial/portlock_unix.h"
#include "serial/portmessages_unix.h"

#include <QSerialPort>

#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kestran::serial {

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

bool fail(LineDevice::Outcome& outcome, PortFault fault, const QString& text)
{
    outcome.error = {fault, text.toStdString()};
    return false;
}

bool busy(LineDevice::Outcome& outcome, const QString& name, const Holder& holder)
{
    outcome.heldNow = heldAfterLoss(name, holder);
    return fail(outcome, PortFault::busy, portBusy(name, holder));
}

} // namespace

struct LineDevice::Private {
    QSerialPort port;
    OwnLocks locks;
    HangUpWatch hangUp;
    LineCounters counters;

    int descriptor() const { return static_cast<int>(port.handle()); }
    bool openDevice(const QString& name, const std::string& device, Outcome& outcome);
};

LineDevice::LineDevice(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->port.setBaudRate(QSerialPort::Baud9600);
    d->port.setDataBits(QSerialPort::Data8);
    d->port.setParity(QSerialPort::NoParity);
    d->port.setStopBits(QSerialPort::OneStop);
    d->port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&d->port, &QSerialPort::readyRead, this, &LineDevice::readyRead);
    connect(&d->port, &QSerialPort::bytesWritten, this, &LineDevice::bytesWritten);
    connect(&d->hangUp, &HangUpWatch::hungUp, this, &LineDevice::lost);
    // A full line can read as an error too; only what the system says of
    // the line makes it a loss. Errors while opening are open()'s to answer.
    connect(&d->port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) {
                if (d->port.isOpen() && error != QSerialPort::NoError && d->hangUp.lineGone())
                    emit lost();
            });
}

LineDevice::~LineDevice()
{
    d->port.disconnect(this);
    close();
}

bool LineDevice::open(const QString& name, Outcome& outcome)
{
    outcome = {};
    if (name.isEmpty())
        return fail(outcome, PortFault::noName, noPortNamed());
    if (tooLong(name))
        return fail(outcome, PortFault::noName, nameTooLong());
    m_device = resolveDevice(name);
    const DeviceKind kind = classifyDevice(m_device);
    if (kind.kind == DeviceKind::missing)
        return fail(outcome, PortFault::missing, missingPort(name, serialPorts()));
    if (kind.kind != DeviceKind::serialPort)
        return fail(outcome, PortFault::notASerialPort, notASerialPort(name, kind));
    std::vector<std::string> names = {name.toStdString()};
    if (m_device != names.front())
        names.push_back(m_device);
    Holder holder;
    std::string problem;
    // Opening a peer's line just to find its flock would put our settings on
    // it, and our close would clear its exclusive mode.
    if (heldByAnother(names, m_device, holder)) {
        outcome.lockFileRefused = !holder.lockFile.empty();
        return busy(outcome, name, holder);
    }
    switch (d->locks.take(names, holder, problem)) {
    case OwnLocks::Result::held:
        outcome.lockFileRefused = !holder.lockFile.empty();
        return busy(outcome, name, holder);
    case OwnLocks::Result::directoryUnwritable:
        outcome.warning = lockDirectoryUnwritable(name, QString::fromStdString(problem));
        break;
    case OwnLocks::Result::taken:
        break;
    }
    if (!d->openDevice(name, m_device, outcome)) {
        d->locks.release();
        return false;
    }
    return true;
}

// The one open of the device: through QSerialPort, which sets exclusive
// mode and the line settings, then an flock on that same descriptor before
// anything is written. A second open, even a brief one to test for a lock,
// would drop and raise DTR, and reset a board that resets on DTR.
bool LineDevice::Private::openDevice(const QString& name, const std::string& device,
                                     Outcome& outcome)
{
    const QString path = QString::fromStdString(device);
    port.setPortName(pathForQt(device));
    if (!port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port.error();
        if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
            return fail(outcome, PortFault::permission, permissionDenied(path, accessTo(path)));
        if (error == QSerialPort::PermissionError) // held in exclusive mode, or by Qt's own lock
            return busy(outcome, name, holderOf(device));
        if (error == QSerialPort::DeviceNotFoundError)
            return fail(outcome, PortFault::missing, missingPort(name, serialPorts()));
        return fail(outcome, PortFault::other, cannotOpen(name, port.errorString()));
    }
    if (!lockDescriptor(descriptor())) {
        const Holder holder = holderOf(device);
        port.close();
        return busy(outcome, name, holder);
    }
    hangUp.watch(descriptor(), device);
    counters.start(descriptor());
    return true;
}

void LineDevice::close()
{
    d->hangUp.stop();
    d->port.close();
    d->locks.release();
}

bool LineDevice::isOpen() const
{
    return d->port.isOpen();
}

void LineDevice::write(std::string_view bytes)
{
    d->port.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // Qt would write on its next pass and tell of it on the pass after;
    // handed over now, the bytes leave at once. A line with no room is left
    // to Qt, which would take "try again" for an error.
    pollfd line{d->descriptor(), POLLOUT, 0};
    if (::poll(&line, 1, 0) == 1 && (line.revents & POLLOUT))
        d->port.flush();
}

std::string LineDevice::readAll()
{
    const QByteArray waiting = d->port.readAll();
    return std::string(waiting.constData(), static_cast<std::size_t>(waiting.size()));
}

qint64 LineDevice::bytesToWrite() const
{
    return d->port.bytesToWrite();
}

qint64 LineDevice::driverQueue() const
{
    int queued = 0;
    return d->port.isOpen() && ::ioctl(d->descriptor(), TIOCOUTQ, &queued) == 0 ? queued : 0;
}

terminal::LineErrors LineDevice::errorsRisen()
{
    return d->counters.rise(d->descriptor());
}

void LineDevice::flush()
{
    if (d->port.isOpen())
        d->port.flush(); // the driver takes what it has room for, and sends it as it closes
}

} // namespace kestran::serial
