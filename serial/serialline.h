// SPDX-License-Identifier: MIT
#pragma once

// The serial port as the terminal uses it, on every platform: one open
// device (linedevice.h) with the fixed line settings, a notification for
// each arrival, for the frame's leaving (frametiming.h) and for the line's
// loss; and after a loss, a wait for the same adapter to come back under the
// same name (replugwatch.h), taken up in one open.

#include "serial/frametiming.h"
#include "serial/linedevice.h"
#include "serial/portdevice.h"
#include "serial/replugwatch.h"
#include "terminal/serialport.h"

#include <QObject>
#include <QString>

#include <functional>

namespace kestran::serial {

class SerialLine : public QObject, public terminal::SerialPort {
    Q_OBJECT

public:
    using IdentityLookup = std::function<DeviceIdentity(const std::string& device)>;

    // identity tells which adapter a device is, so that after a loss only
    // the same one is taken up again.
    explicit SerialLine(const QString& portName = defaultPortName(), QObject* parent = nullptr,
                        IdentityLookup identity = identityOf);
    ~SerialLine() override;

    // The name as given, such as /dev/serial/by-id/usb-…, /dev/ttyUSB0 or COM3.
    QString portName() const { return m_name; }

    bool portOpen() const override;
    bool openPort() override;
    void closePort() override;
    void output(std::string_view bytes) override;
    std::size_t outputWaiting() const override;
    terminal::Chunk input() override;
    terminal::CommEvent commEvent() const override { return m_event; }
    std::optional<terminal::Moment> frameLeft() const override { return m_left; }
    terminal::PortError lastError() const override { return m_error; }

    // Closes the port for good, handing the driver first what it takes at
    // once; returns how many bytes that Send accepted were never written,
    // those lost with the device included.
    qint64 release();
    // Every line error counted since the start.
    const terminal::LineErrors& lineErrors() const { return m_lineErrors; }

signals:
    // Raised on this object's thread as soon as anything is received, when
    // a frame has left, when the line fails and when it is back;
    // commEvent() tells which.
    void onComm();
    // How the port stands, for the operator, while it waits after a loss
    // or when it opened with less than it should have.
    void portState(const QString& text);

private:
    void connectEvents();
    void notify(terminal::CommEvent event);
    void frameWent(const std::optional<terminal::Moment>& at);
    void lineLost();
    void lookForDevice();
    void stateOnce(const QString& text);

    QString m_name;
    IdentityLookup m_identityOf;
    DeviceIdentity m_identity; // of the adapter first opened
    LineDevice m_device;
    FrameTiming m_timing;
    ReplugWatch m_replug;
    LineDevice::Outcome m_opened; // how the latest open ended
    terminal::CommEvent m_event = terminal::CommEvent::comEvReceive;
    terminal::PortError m_error;
    std::optional<terminal::Moment> m_left;
    bool m_writing = false; // inside output(): what it causes is told after it
    bool m_lost = false;
    QString m_toldState; // the last word on the port's state, said once
    qint64 m_unsent = 0;
    terminal::LineErrors m_lineErrors;
};

} // namespace kestran::serial
