#include "serial/qtserialport.h"

namespace kestran::serial {

using terminal::CommEvent;
using terminal::PortError;

namespace {

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

PortError portError(const QSerialPort& port)
{
    return {static_cast<int>(port.error()), port.errorString().toStdString()};
}

} // namespace

QString defaultPortName()
{
    return QStringLiteral(KESTRAN_DEFAULT_PORT);
}

QtSerialPort::QtSerialPort(const QString& portName, QObject* parent)
    : QObject(parent), m_name(portName)
{
    m_port.setPortName(portName);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);

    connect(&m_port, &QSerialPort::readyRead, this, [this] { notify(CommEvent::comEvReceive); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::takeError);
}

bool QtSerialPort::portOpen() const
{
    return m_port.isOpen();
}

std::optional<PortError> QtSerialPort::openPort()
{
    if (m_port.open(QIODevice::ReadWrite))
        return std::nullopt;
    return portError(m_port);
}

void QtSerialPort::closePort()
{
    m_port.close();
}

void QtSerialPort::output(std::string_view bytes)
{
    m_port.write(bytes.data(), static_cast<qint64>(bytes.size()));
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

void QtSerialPort::takeError(QSerialPort::SerialPortError error)
{
    // Errors while opening are answered by openPort() itself.
    if (!m_port.isOpen() || !lineIsLost(error))
        return;
    m_error = portError(m_port);
    notify(CommEvent::comEvError);
}

} // namespace kestran::serial
