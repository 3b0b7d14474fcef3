// SPDX-License-Identifier: MIT
#include "serial/qtserialport.h"

#include "serial/portlock.h"
#include "serial/portmessages.h"

#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace kestran::serial {

using terminal::CommEvent;
using terminal::PortError;

namespace {

constexpr int replugLookMs = 250;

// Errors after which the line is of no more use. On Linux QSerialPort keeps
// raising a read error at full speed once the device is gone, so the owner
// must hear of it at the first one.
bool lineIsLost(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::UnknownError:
        return true;
    default:
        return false;
    }
}

PortError error(QSerialPort::SerialPortError number, const QString& text)
{
    return {static_cast<int>(number), text.toStdString()};
}

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

} // namespace

QString defaultPortName()
{
    return QStringLiteral(KESTRAN_DEFAULT_PORT);
}

QtSerialPort::QtSerialPort(const QString& portName, QObject* parent)
    : QObject(parent), m_name(portName)
{
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_replug.setInterval(replugLookMs);

    connect(&m_port, &QSerialPort::readyRead, this, [this] { notify(CommEvent::comEvReceive); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::takeError);
    connect(&m_replug, &QTimer::timeout, this, &QtSerialPort::lookForDevice);
}

QtSerialPort::~QtSerialPort()
{
    // Whoever listened may be gone already; a failing last write must not
    // reach them.
    m_port.disconnect(this);
    if (!m_port.isOpen())
        return;
    m_port.flush();
    if (const qint64 left = m_port.bytesToWrite(); left > 0)
        std::fprintf(stderr, "kestran: %lld bytes were not sent to %s.\n",
                     static_cast<long long>(left), qPrintable(m_name));
}

bool QtSerialPort::portOpen() const
{
    return m_port.isOpen();
}

std::optional<PortError> QtSerialPort::openPort()
{
    if (m_name.isEmpty())
        return error(QSerialPort::DeviceNotFoundError, noPortNamed());
    if (tooLong(m_name))
        return error(QSerialPort::DeviceNotFoundError, nameTooLong());
    const std::string device = resolveDevice(m_name.toStdString());
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0)
        return error(QSerialPort::DeviceNotFoundError, missingPort(m_name));
    if (!S_ISCHR(info.st_mode))
        return error(QSerialPort::OpenError, notASerialPort(m_name));
    if (const auto holder = findHolder(m_name.toStdString(), device))
        return error(QSerialPort::PermissionError, portBusy(m_name, *holder));
    // Opened under the device's own name, so that its lock file is the one
    // other programs look for whatever link it was named by.
    m_port.setPortName(QString::fromStdString(device));
    if (!m_port.open(QIODevice::ReadWrite)) {
        if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
            return error(QSerialPort::PermissionError,
                         permissionDenied(QString::fromStdString(device)));
        return error(m_port.error(), m_port.errorString());
    }
    if (!lockDescriptor(static_cast<int>(m_port.handle()))) {
        m_port.close();
        return error(QSerialPort::PermissionError, portBusy(m_name, Holder{}));
    }
    return std::nullopt;
}

void QtSerialPort::closePort()
{
    m_port.close();
    if (m_lost)
        m_replug.start();
}

void QtSerialPort::output(std::string_view bytes)
{
    m_port.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::size_t QtSerialPort::outputWaiting() const
{
    return static_cast<std::size_t>(m_port.bytesToWrite());
}

std::string QtSerialPort::input()
{
    const QByteArray waiting = m_port.readAll();
    return std::string(waiting.constData(), static_cast<std::size_t>(waiting.size()));
}

CommEvent QtSerialPort::commEvent() const
{
    return m_event;
}

PortError QtSerialPort::lastError() const
{
    return m_error;
}

void QtSerialPort::notify(CommEvent event)
{
    m_event = event;
    emit onComm();
}

void QtSerialPort::takeError(QSerialPort::SerialPortError number)
{
    // Errors while opening are answered by openPort() itself.
    if (!m_port.isOpen() || !lineIsLost(number))
        return;
    m_lost = true;
    m_error = error(number, deviceDisconnected());
    notify(CommEvent::comEvError);
}

void QtSerialPort::lookForDevice()
{
    if (!QFileInfo::exists(m_name) || openPort())
        return;
    m_replug.stop();
    m_lost = false;
    notify(CommEvent::comEvReopened);
}

} // namespace kestran::serial
