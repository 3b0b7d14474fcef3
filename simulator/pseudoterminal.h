// SPDX-License-Identifier: MIT
#pragma once

// The pseudo-terminal the simulated device sits on: a terminal program opens
// the terminal end by its name (portName()), and the device reads and writes
// the device end. Both ends are raw, so bytes cross unchanged. The terminal
// end stays open here too: without it the device end would report a hang-up
// on every poll until a program opens the port, and a program closing the
// port would make the line go away.

#include <string>

namespace kestran::simulator {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The name a program opens, such as /dev/pts/3.
    const std::string& portName() const { return m_name; }
    // The device end, non-blocking and not inherited by programs started.
    int deviceEnd() const { return m_device; }

private:
    int m_device = -1;
    int m_terminal = -1;
    std::string m_name;
};

} // namespace kestran::simulator
