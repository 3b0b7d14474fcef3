// SPDX-License-Identifier: MIT
#include "support/pty.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace kestran::testing {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&m_device, &m_terminal, name, nullptr, nullptr) != 0)
        fail("openpty");
    m_name = name;
    // Raw on both sides, so bytes cross unchanged (no CR/LF mapping, no echo).
    termios raw{};
    ::tcgetattr(m_terminal, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_terminal, TCSANOW, &raw);
    ::fcntl(m_device, F_SETFL, ::fcntl(m_device, F_GETFL) | O_NONBLOCK);
    // A program the test starts must not inherit the device end, or closing
    // it here would not make the device disappear.
    ::fcntl(m_device, F_SETFD, FD_CLOEXEC);
    // The program opens the terminal end itself; keeping our descriptor would
    // keep the line alive after the program closes it.
    ::close(m_terminal);
    m_terminal = -1;
}

Pty::~Pty()
{
    closeDevice();
}

void Pty::write(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_device, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            fail("write to device end");
        pollfd wait{m_device, POLLOUT, 0};
        ::poll(&wait, 1, 100);
    }
}

std::string Pty::read(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait{m_device, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(std::max<long>(left.count(), 0))) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(m_device, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0)
                got.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                break;
        }
        if (left.count() <= 0)
            break;
    }
    return got;
}

void Pty::closeDevice()
{
    if (m_device >= 0)
        ::close(m_device);
    m_device = -1;
}

std::chrono::microseconds processCpuTime()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto us = [](const timeval& t) {
        return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
    };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

} // namespace kestran::testing
