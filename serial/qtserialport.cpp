// SPDX-License-Identifier: MIT
#include "serial/qtserialport.h"

#include "serial/portmessages.h"

#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestran::serial {

using terminal::CommEvent;
using terminal::PortError;
using terminal::PortFault;

namespace {

// While a frame's last bytes wait in the driver, how often to ask whether
// they went, and for how long at most.
constexpr int drainLookMs = 1;
constexpr int drainLooksAtMost = 5000;

qint64 driverQueue(int descriptor)
{
    int queued = 0;
    return ::ioctl(descriptor, TIOCOUTQ, &queued) == 0 ? queued : 0;
}

// What the system says of an open line: whether it takes bytes now, and
// whether it is gone (hung up, in error, or its device node removed).
short lineState(int descriptor)
{
    pollfd line{descriptor, POLLIN | POLLOUT, 0};
    return ::poll(&line, 1, 0) == 1 ? line.revents : 0;
}

bool lineGone(int descriptor, const std::string& device)
{
    struct stat opened {
    }, named{};
    return (lineState(descriptor) & (POLLHUP | POLLERR | POLLNVAL)) ||
           ::fstat(descriptor, &opened) != 0 || ::stat(device.c_str(), &named) != 0 ||
           opened.st_rdev != named.st_rdev;
}

} // namespace

QString defaultPortName()
{
    return QStringLiteral(KESTRAN_DEFAULT_PORT);
}

QString lineSettings()
{
    return QStringLiteral("9600 bit/s, 8 data bits, no parity, 1 stop bit, no flow control");
}

QtSerialPort::QtSerialPort(const QString& portName, QObject* parent, IdentityLookup identity)
    : QObject(parent), m_name(portName), m_identityOf(std::move(identity))
{
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_clock.start();
    m_draining.setInterval(drainLookMs);
    m_draining.setTimerType(Qt::PreciseTimer);

    connectEvents();
}

void QtSerialPort::connectEvents()
{
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialPort::takeRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::takeError);
    connect(&m_port, &QSerialPort::bytesWritten, this, &QtSerialPort::takeWritten);
    connect(&m_draining, &QTimer::timeout, this, &QtSerialPort::takeWritten);
    connect(&m_replug, &ReplugWatch::look, this, &QtSerialPort::lookForDevice);
}

QtSerialPort::~QtSerialPort()
{
    release();
}

qint64 QtSerialPort::release()
{
    // Whoever listened may be gone already; a failing last write must not
    // reach them.
    m_port.disconnect(this);
    // A lost line's bytes were counted as it went; no replug on the way out.
    const bool counted = std::exchange(m_lost, false);
    if (m_port.isOpen()) {
        if (!counted) {
            m_port.flush(); // the driver takes what it has room for, and sends it as it closes
            m_unsent += m_port.bytesToWrite();
        }
        closePort();
    }
    m_replug.stop();
    return std::exchange(m_unsent, 0);
}

bool QtSerialPort::portOpen() const
{
    return m_port.isOpen();
}

void QtSerialPort::watchForHangUp(int descriptor)
{
    // A hung-up line reports an error condition on its descriptor; Qt 6.8
    // reads nothing from it and says nothing, so the loss is taken from the
    // system itself.
    m_hangUp = new QSocketNotifier(descriptor, QSocketNotifier::Exception, this);
    connect(m_hangUp, &QSocketNotifier::activated, this, [this, descriptor] {
        if (lineState(descriptor) & (POLLHUP | POLLERR | POLLNVAL)) {
            m_hangUp->setEnabled(false);
            loseLineSoon();
        }
    });
}

void QtSerialPort::closePort()
{
    if (m_hangUp) {
        m_hangUp->setEnabled(false);
        m_hangUp->deleteLater();
        m_hangUp = nullptr;
    }
    m_draining.stop();
    m_port.close();
    m_locks.release();
    if (m_lost)
        m_replug.start(m_name, QString::fromStdString(m_device));
}

void QtSerialPort::output(std::string_view bytes)
{
    const QByteArray frame(bytes.data(), static_cast<qsizetype>(bytes.size()));
    m_port.write(frame);
    m_accepted += frame.size();
    m_frameEnd = m_accepted;
    m_frameGone = false;
    m_drainLooks = 0;
    emit frameWritten(frame);
    // Qt would write on its next pass and tell of it on the pass after;
    // handed over now, the frame leaves at once and its leaving is seen. A
    // line with no room is left to Qt, which would take "try again" for an error.
    if (lineState(static_cast<int>(m_port.handle())) & POLLOUT)
        m_port.flush();
    takeWritten();
}

std::size_t QtSerialPort::outputWaiting() const
{
    return static_cast<std::size_t>(m_port.bytesToWrite());
}

std::string QtSerialPort::input()
{
    const QByteArray waiting = m_port.readAll();
    if (!waiting.isEmpty())
        emit chunkRead(waiting);
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

qint64 QtSerialPort::responseUs() const
{
    return !m_frameGone || m_leftAt < 0 || m_readAt < m_leftAt ? -1 : m_readAt - m_leftAt;
}

void QtSerialPort::takeRead()
{
    m_readAt = m_clock.nsecsElapsed() / 1000;
    LineCounters now;
    if (m_countersKept && readLineCounters(static_cast<int>(m_port.handle()), now)) {
        const LineCounters rise = now.since(m_counterBase);
        m_counterBase = now;
        if (rise.any()) {
            m_counters += rise;
            emit lineErrorsRose(rise);
        }
    }
    m_event = CommEvent::comEvReceive;
    emit onComm();
}

// Bytes went to the driver; the frame has left once the driver has sent its
// last byte too.
void QtSerialPort::takeWritten()
{
    if (m_frameGone || !m_port.isOpen() || m_accepted - m_port.bytesToWrite() < m_frameEnd) {
        m_draining.stop();
        return;
    }
    const bool drained = driverQueue(static_cast<int>(m_port.handle())) == 0;
    if (!drained && ++m_drainLooks < drainLooksAtMost) {
        m_draining.start();
        return;
    }
    m_draining.stop();
    m_frameGone = true;
    // Given up on, when it left is not known: no response time beats a wrong one.
    m_leftAt = drained ? m_clock.nsecsElapsed() / 1000 : -1;
    emit frameLeft();
}

// Qt's error codes for a lost line differ from one version to the next, and
// a full line can read as an error too; what the system says decides.
void QtSerialPort::takeError(QSerialPort::SerialPortError error)
{
    // Errors while opening are answered by openPort() itself.
    if (m_port.isOpen() && error != QSerialPort::NoError &&
        lineGone(static_cast<int>(m_port.handle()), m_device))
        loseLineSoon();
}

// Qt reports a failed read from inside its own reading; the port is closed
// only once that has returned.
void QtSerialPort::loseLineSoon()
{
    QMetaObject::invokeMethod(this, &QtSerialPort::lineLost, Qt::QueuedConnection);
}

void QtSerialPort::lineLost()
{
    if (m_lost || !m_port.isOpen())
        return;
    // A hang-up flushes what the line held, so there is nothing left to
    // read; what waited to go out is counted.
    const qint64 unsent = m_port.bytesToWrite() + driverQueue(static_cast<int>(m_port.handle()));
    m_unsent += unsent;
    m_lost = true;
    m_toldState.clear();
    fail(PortFault::lost, deviceDisconnected(unsent));
    m_event = CommEvent::comEvError;
    emit onComm();
}

} // namespace kestran::serial
