// SPDX-License-Identifier: MIT
#include "serial/frametiming.h"

namespace kestran::serial {

namespace {

constexpr int lookEveryMs = 1;
constexpr int looksAtMost = 5000;

} // namespace

FrameTiming::FrameTiming(LineDevice& device, QObject* parent) : QObject(parent), m_device(device)
{
    m_again.setInterval(lookEveryMs);
    m_again.setTimerType(Qt::PreciseTimer);
    m_again.setSingleShot(true);
    connectEvents();
}

void FrameTiming::connectEvents()
{
    connect(&m_device, &LineDevice::bytesWritten, this, &FrameTiming::look);
    connect(&m_again, &QTimer::timeout, this, &FrameTiming::look);
}

void FrameTiming::started()
{
    m_waiting = true;
    m_looks = 0;
    look();
}

void FrameTiming::stop()
{
    m_waiting = false;
    m_again.stop();
}

void FrameTiming::look()
{
    // While the device still holds some of it, its next handing-over brings
    // the next look; a look every millisecond would cost for nothing.
    if (!m_waiting || !m_device.isOpen() || m_device.bytesToWrite() > 0) {
        m_again.stop();
        return;
    }
    const bool drained = m_device.driverQueue() == 0;
    if (!drained && ++m_looks < looksAtMost) {
        m_again.start();
        return;
    }
    stop();
    emit left(drained ? std::optional<terminal::Moment>(terminal::Moment::now()) : std::nullopt);
}

} // namespace kestran::serial
