// SPDX-License-Identifier: MIT
#pragma once

// The serial line over QSerialPort, with the fixed line settings of the
// program: 9600 bit/s, 8 data bits, no parity, 1 stop bit, no flow control,
// bytes in and out unchanged. The port is held as other programs on Linux
// hold one (see portlock.h), and when the device goes away the port watches
// for it to come back under the same name and opens it again.

#include "terminal/serialport.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

namespace kestran::serial {

// The port opened when none is named; fixed when the program is built.
QString defaultPortName();

class QtSerialPort : public QObject, public terminal::SerialPort {
    Q_OBJECT

public:
    explicit QtSerialPort(const QString& portName = defaultPortName(), QObject* parent = nullptr);
    // Writes what the line takes at once and says on standard error how many
    // bytes could not be sent; the program does not wait for a slow device.
    ~QtSerialPort() override;

    // The name as given, such as /dev/serial/by-id/usb-… or /dev/ttyUSB0.
    QString portName() const { return m_name; }

    bool portOpen() const override;
    std::optional<terminal::PortError> openPort() override;
    void closePort() override;
    void output(std::string_view bytes) override;
    std::size_t outputWaiting() const override;
    std::string input() override;
    terminal::CommEvent commEvent() const override;
    terminal::PortError lastError() const override;

signals:
    // Raised on this object's thread as soon as anything is received, when
    // the line fails and when it is back; commEvent() tells which.
    void onComm();

private:
    void notify(terminal::CommEvent event);
    void takeError(QSerialPort::SerialPortError error);
    void lookForDevice();

    QString m_name;
    QSerialPort m_port;
    terminal::CommEvent m_event = terminal::CommEvent::comEvReceive;
    terminal::PortError m_error;
    bool m_lost = false;
    // After a loss, a look for the device four times a second: unlike
    // watching a directory, it copes with /dev/serial/by-id itself going and
    // coming back, and it costs microseconds a look.
    QTimer m_replug;
};

} // namespace kestran::serial
