// SPDX-License-Identifier: MIT
#pragma once

// A pseudo-terminal on which a test plays the device: the program under test
// opens portName(), the test writes and reads the device end, and closing it
// is the device going away.

#include "simulator/pseudoterminal.h"

#include <chrono>
#include <string>

namespace kestran::testing {

class Pty {
public:
    const std::string& portName() const { return m_line.portName(); }
    // Writes all the bytes, waiting for the line to take them.
    void write(const std::string& bytes);
    // Reads until `count` bytes have come or the timeout passes.
    std::string read(std::size_t count, std::chrono::milliseconds timeout);
    void closeDevice() { m_line.closeDeviceEnd(); }

private:
    simulator::PseudoTerminal m_line{simulator::PseudoTerminal::TerminalEnd::closed};
};

// Another process, holding a device by flock if asked, until it is ended.
class OtherProcess {
public:
    explicit OtherProcess(const std::string& device, bool flocks = true);
    ~OtherProcess();
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;
    int pid() const { return m_pid; }

private:
    int m_pid = -1;
};

} // namespace kestran::testing
