// SPDX-License-Identifier: MIT
#include "support/pty.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestran::testing {

void Pty::write(const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_line.deviceEnd(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
        pollfd wait{m_line.deviceEnd(), POLLOUT, 0};
        ::poll(&wait, 1, n > 0 ? 0 : 100);
    }
}

std::string Pty::read(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        char buffer[4096];
        const ssize_t n =
            ::read(m_line.deviceEnd(), buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0)
            got.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EAGAIN)
            break;
        pollfd wait{m_line.deviceEnd(), POLLIN, 0};
        ::poll(&wait, 1, n > 0 ? 0 : 10);
    } while (got.size() < count && std::chrono::steady_clock::now() < deadline);
    return got;
}

OtherProcess::OtherProcess(const std::string& device, bool flocks)
{
    int ready[2];
    if (::pipe(ready) != 0)
        throw std::runtime_error("pipe");
    m_pid = ::fork();
    if (m_pid == 0) {
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char ok = !flocks || ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        [[maybe_unused]] const auto said = ::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 'n';
    [[maybe_unused]] const auto heard = ::read(ready[0], &ok, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    if (ok != 'y')
        throw std::runtime_error("the other process could not take the device");
}

OtherProcess::~OtherProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

} // namespace kestran::testing
