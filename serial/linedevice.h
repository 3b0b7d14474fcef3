// SPDX-License-Identifier: MIT
#pragma once

// One open serial device with the program's fixed line settings: 9600 bit/s,
// 8 data bits, no parity, 1 stop bit, no flow control, bytes in and out
// unchanged. It is opened once and held against other programs as each
// platform's programs hold a port, and it tells when the system says the
// line is gone. linedevice_unix.cpp and linedevice_win.cpp each say how.

#include "terminal/serialport.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <string_view>

namespace kestran::serial {

class LineDevice : public QObject {
    Q_OBJECT

public:
    explicit LineDevice(QObject* parent = nullptr);
    ~LineDevice() override;

    // How an open ended besides opening: why it did not, how to say that a
    // device that came back is held, whether what refused it was another
    // program's lock file (whose going a watch of its folder would see), and
    // what the operator should know of a port that opened with less than it
    // should have.
    struct Outcome {
        terminal::PortError error;
        QString heldNow;
        bool lockFileRefused = false;
        QString warning;
    };
    // Opens the device `name` stands for; false when it cannot be.
    bool open(const QString& name, Outcome& outcome);
    void close();
    bool isOpen() const;
    // What the name stood for when it was opened.
    const std::string& device() const { return m_device; }

    void write(std::string_view bytes);
    std::string readAll();
    // Bytes written that the driver has not taken yet, and what it holds.
    qint64 bytesToWrite() const;
    qint64 driverQueue() const;
    // The line errors the driver counted since the last look.
    terminal::LineErrors errorsRisen();
    // At the end: hands the driver what it takes at once.
    void flush();

signals:
    void readyRead();
    void bytesWritten();
    void lost();

private:
    struct Private;
    std::unique_ptr<Private> d;
    std::string m_device;
};

} // namespace kestran::serial
