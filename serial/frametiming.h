// SPDX-License-Identifier: MIT
#pragma once

// When a frame has left: once the device has handed its last byte to the
// driver, and the driver has sent that too. The driver's queue is looked at
// every millisecond until it is empty, and for 5 s at most: a frame that
// needs longer (over about 4.8 KB at 9600 bit/s) is given up on, and its
// leaving is not known rather than known wrong.

#include "serial/linedevice.h"

#include <QObject>
#include <QTimer>

#include <optional>

namespace kestran::serial {

class FrameTiming : public QObject {
    Q_OBJECT

public:
    explicit FrameTiming(LineDevice& device, QObject* parent = nullptr);

    // A frame was handed to the device: its leaving is looked for from now.
    void started();
    void stop();

signals:
    // When the frame's last byte left; empty when that could not be seen.
    void left(const std::optional<terminal::Moment>& at);

private:
    void connectEvents();
    void look();

    LineDevice& m_device;
    QTimer m_again;
    int m_looks = 0;
    bool m_waiting = false;
};

} // namespace kestran::serial
