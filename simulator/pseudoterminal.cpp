// SPDX-License-Identifier: MIT
#include "simulator/pseudoterminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kestran::simulator {

PseudoTerminal::PseudoTerminal(TerminalEnd terminalEnd)
{
    char name[256] = {};
    if (::openpty(&m_device, &m_terminal, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    m_name = name;
    termios raw{};
    ::tcgetattr(m_terminal, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_terminal, TCSANOW, &raw);
    ::fcntl(m_device, F_SETFL, ::fcntl(m_device, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_device, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_terminal, F_SETFD, FD_CLOEXEC);
    if (terminalEnd == TerminalEnd::closed) {
        ::close(m_terminal);
        m_terminal = -1;
    }
}

PseudoTerminal::~PseudoTerminal()
{
    closeDeviceEnd();
    if (m_terminal >= 0)
        ::close(m_terminal);
}

void PseudoTerminal::closeDeviceEnd()
{
    if (m_device >= 0)
        ::close(m_device);
    m_device = -1;
}

} // namespace kestran::simulator
