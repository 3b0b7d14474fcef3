// SPDX-License-Identifier: MIT
#include "serial/serialline.h"

#include "serial/portmessages.h"

#include <utility>

namespace kestran::serial {

using terminal::CommEvent;
using terminal::PortFault;

SerialLine::SerialLine(const QString& portName, QObject* parent, IdentityLookup identity)
    : QObject(parent), m_name(portName), m_identityOf(std::move(identity)), m_timing(m_device)
{
    connectEvents();
}

void SerialLine::connectEvents()
{
    connect(&m_device, &LineDevice::readyRead, this, [this] { notify(CommEvent::comEvReceive); });
    // The system may say so from inside the device's own reading; the port
    // is closed only once that has returned.
    connect(&m_device, &LineDevice::lost, this, &SerialLine::lineLost, Qt::QueuedConnection);
    connect(&m_timing, &FrameTiming::left, this, &SerialLine::frameWent);
    connect(&m_replug, &ReplugWatch::look, this, &SerialLine::lookForDevice);
}

SerialLine::~SerialLine()
{
    release();
}

qint64 SerialLine::release()
{
    // Whoever listened may be gone already; a failing last write must not
    // reach them.
    m_device.disconnect(this);
    m_timing.disconnect(this);
    // A lost line's bytes were counted as it went; no replug on the way out.
    const bool counted = std::exchange(m_lost, false);
    if (m_device.isOpen()) {
        if (!counted) {
            m_device.flush();
            m_unsent += m_device.bytesToWrite();
        }
        closePort();
    }
    m_replug.stop();
    return std::exchange(m_unsent, 0);
}

void SerialLine::notify(CommEvent event)
{
    m_event = event;
    emit onComm();
}

bool SerialLine::portOpen() const
{
    return m_device.isOpen();
}

bool SerialLine::openPort()
{
    if (!m_device.open(m_name, m_opened)) {
        m_error = m_opened.error;
        return false;
    }
    if (!m_opened.warning.isEmpty())
        stateOnce(m_opened.warning);
    if (!m_identity.known())
        m_identity = m_identityOf(m_device.device());
    return true;
}

void SerialLine::closePort()
{
    m_timing.stop();
    m_device.close();
    if (m_lost)
        m_replug.start(m_name, QString::fromStdString(m_device.device()));
}

void SerialLine::output(std::string_view bytes)
{
    m_writing = true;
    m_device.write(bytes);
    m_timing.started();
    m_writing = false;
}

std::size_t SerialLine::outputWaiting() const
{
    return static_cast<std::size_t>(m_device.bytesToWrite());
}

terminal::Chunk SerialLine::input()
{
    terminal::Chunk chunk{m_device.readAll(), terminal::Moment::now(), {}};
    chunk.errors = m_device.errorsRisen();
    m_lineErrors += chunk.errors;
    return chunk;
}

void SerialLine::frameWent(const std::optional<terminal::Moment>& at)
{
    m_left = at;
    // Seen inside output(), the leaving is told once the Send that wrote the
    // frame has returned: reactions never run inside one another.
    if (m_writing)
        QMetaObject::invokeMethod(
            this, [this] { notify(CommEvent::comEvSend); }, Qt::QueuedConnection);
    else
        notify(CommEvent::comEvSend);
}

void SerialLine::lineLost()
{
    if (m_lost || !m_device.isOpen())
        return;
    // A hang-up flushes what the line held, so there is nothing left to
    // read; what waited to go out is counted.
    const qint64 unsent = m_device.bytesToWrite() + m_device.driverQueue();
    m_unsent += unsent;
    m_lost = true;
    m_toldState.clear();
    m_error = {PortFault::lost, deviceDisconnected(unsent).toStdString()};
    notify(CommEvent::comEvError);
}

void SerialLine::stateOnce(const QString& text)
{
    if (text == m_toldState)
        return;
    m_toldState = text;
    emit portState(text);
}

void SerialLine::lookForDevice()
{
    if (!m_lost)
        return;
    const std::string device = resolveDevice(m_name);
    if (!deviceExists(device))
        return; // gone for now: the next news of devices brings a look
    if (m_identity.known()) {
        const DeviceIdentity found = m_identityOf(device);
        if (!m_identity.matches(found)) {
            stateOnce(differentDevice(m_name, found, m_identity));
            return;
        }
    }
    if (!openPort()) {
        if (m_error.fault == PortFault::busy)
            stateOnce(m_opened.heldNow);
        m_replug.lookAgainLater(m_opened.lockFileRefused);
        return;
    }
    m_replug.stop();
    m_lost = false;
    m_toldState.clear();
    notify(CommEvent::comEvReopened);
}

} // namespace kestran::serial
