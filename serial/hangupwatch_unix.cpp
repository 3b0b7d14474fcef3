// SPDX-License-Identifier: MIT
#include "serial/hangupwatch_unix.h"

#include <poll.h>
#include <sys/stat.h>

namespace kestran::serial {

void HangUpWatch::watch(int descriptor, const std::string& device)
{
    m_descriptor = descriptor;
    m_device = device;
    m_notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Exception);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        pollfd line{m_descriptor, POLLIN, 0};
        if (::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            m_notifier->setEnabled(false);
            emit hungUp();
        }
    });
}

void HangUpWatch::stop()
{
    // Stopped from inside its own activation, the notifier goes only once
    // that has returned.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    m_descriptor = -1;
}

bool HangUpWatch::lineGone() const
{
    pollfd line{m_descriptor, POLLIN, 0};
    struct stat opened {
    }, named{};
    return (::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR | POLLNVAL))) ||
           ::fstat(m_descriptor, &opened) != 0 || ::stat(m_device.c_str(), &named) != 0 ||
           opened.st_rdev != named.st_rdev;
}

} // namespace kestran::serial
