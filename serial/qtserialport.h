// SPDX-License-Identifier: MIT
#pragma once

// The serial line over QSerialPort, with the fixed line settings of the
// program: 9600 bit/s, 8 data bits, no parity, 1 stop bit, no flow control,
// bytes in and out unchanged. The port is held as other programs on Linux
// hold one (see portlock.h); the loss of the device is taken from what the
// system says of the line itself, whatever Qt makes of it; and afterwards
// the port waits for the same adapter to come back under the same name.

#include "serial/linecounters.h"
#include "serial/portdevice.h"
#include "serial/portlock.h"
#include "serial/replugwatch.h"
#include "terminal/serialport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <functional>

namespace kestran::serial {

// The port opened when none is named; fixed when the program is built.
QString defaultPortName();
// The line settings, as a log or a message names them.
QString lineSettings();

class QtSerialPort : public QObject, public terminal::SerialPort {
    Q_OBJECT

public:
    using IdentityLookup = std::function<DeviceIdentity(const std::string& device)>;

    // identity tells which adapter a device is, so that after a loss only
    // the same one is taken up again.
    explicit QtSerialPort(const QString& portName = defaultPortName(), QObject* parent = nullptr,
                          IdentityLookup identity = identityOf);
    ~QtSerialPort() override;

    // The name as given, such as /dev/serial/by-id/usb-… or /dev/ttyUSB0.
    QString portName() const { return m_name; }

    bool portOpen() const override;
    bool openPort() override;
    void closePort() override;
    void output(std::string_view bytes) override;
    std::size_t outputWaiting() const override;
    std::string input() override;
    terminal::CommEvent commEvent() const override;
    terminal::PortError lastError() const override;

    // Closes the port for good, handing the driver first what it takes at
    // once; returns how many bytes that Send accepted were never written,
    // those lost with the device included.
    qint64 release();
    // Microseconds from the last byte of the latest frame leaving the port
    // to the read that brought the latest input(); -1 when unknown.
    qint64 responseUs() const;
    const LineCounters& lineErrors() const { return m_counters; }

signals:
    // Raised on this object's thread as soon as anything is received, when
    // the line fails and when it is back; commEvent() tells which.
    void onComm();
    // For a record of the session: a frame handed to the port, the last
    // byte of it gone out, and each chunk read, exactly as it came.
    void frameWritten(const QByteArray& frame);
    void frameLeft();
    void chunkRead(const QByteArray& chunk);
    // The kernel counted line errors since the last read.
    void lineErrorsRose(const LineCounters& rise);
    // How the port stands, for the operator, while it waits after a loss
    // or when it opened with less than it should have.
    void portState(const QString& text);

private:
    void connectEvents();
    bool fail(terminal::PortFault fault, const QString& text);
    bool busy(const Holder& holder);
    bool openDevice();
    void watchForHangUp(int descriptor);
    void loseLineSoon();
    void lineLost();
    void takeError(QSerialPort::SerialPortError error);
    void takeRead();
    void takeWritten();
    void lookForDevice();
    void stateOnce(const QString& text);

    QString m_name;
    std::string m_device;
    IdentityLookup m_identityOf;
    DeviceIdentity m_identity; // of the adapter first opened
    QSerialPort m_port;
    OwnLocks m_locks;
    QSocketNotifier* m_hangUp = nullptr;
    terminal::CommEvent m_event = terminal::CommEvent::comEvReceive;
    terminal::PortError m_error;
    Holder m_holder; // of the port, when it was busy
    bool m_lost = false;
    QString m_toldState; // the last word on the port's state, said once
    qint64 m_unsent = 0;
    ReplugWatch m_replug;
    LineCounters m_counters, m_counterBase;
    bool m_countersKept = false; // the driver keeps them
    // When the latest frame left and when the latest read came, in
    // microseconds of m_clock.
    QElapsedTimer m_clock;
    qint64 m_accepted = 0, m_frameEnd = 0;
    bool m_frameGone = true;
    qint64 m_leftAt = -1, m_readAt = -1;
    QTimer m_draining;
    int m_drainLooks = 0;
};

} // namespace kestran::serial
