#pragma once

// The serial line over QSerialPort, with the fixed line settings of the
// program: 9600 bit/s, 8 data bits, no parity, 1 stop bit, no flow control,
// bytes in and out unchanged.

#include "terminal/serialport.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

namespace kestran::serial {

// The port opened when none is named; fixed when the program is built.
QString defaultPortName();

class QtSerialPort : public QObject, public terminal::SerialPort {
    Q_OBJECT

public:
    explicit QtSerialPort(const QString& portName = defaultPortName(), QObject* parent = nullptr);

    // The name as given, such as /dev/ttyUSB0 (QSerialPort shortens it).
    QString portName() const { return m_name; }

    bool portOpen() const override;
    std::optional<terminal::PortError> openPort() override;
    void closePort() override;
    void output(std::string_view bytes) override;
    std::string input() override;
    terminal::CommEvent commEvent() const override;
    terminal::PortError lastError() const override;

signals:
    // Raised on this object's thread as soon as anything is received, and when
    // the line fails; commEvent() tells which.
    void onComm();

private:
    void notify(terminal::CommEvent event);
    void takeError(QSerialPort::SerialPortError error);

    QString m_name;
    QSerialPort m_port;
    terminal::CommEvent m_event = terminal::CommEvent::comEvReceive;
    terminal::PortError m_error;
};

} // namespace kestran::serial
