// SPDX-License-Identifier: MIT
#pragma once

// The pseudo-terminal a device sits on: a terminal program opens the
// terminal end by its name (portName()), and the device reads and writes the
// device end. Both ends are raw, so bytes cross unchanged. The simulated
// device keeps the terminal end open too: without it the device end would
// report a hang-up on every poll until a program opens the port, and a
// program closing the port would make the line go away. A test that plays a
// device wants just that: with the program's open the only one, closing the
// device end hangs the line up.

#include <string>

namespace kestran::simulator {

class PseudoTerminal {
public:
    enum class TerminalEnd { keptOpen, closed };
    explicit PseudoTerminal(TerminalEnd terminalEnd = TerminalEnd::keptOpen);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The name a program opens, such as /dev/pts/3.
    const std::string& portName() const { return m_name; }
    // The device end, non-blocking and not inherited by programs started.
    int deviceEnd() const { return m_device; }
    // The device going away.
    void closeDeviceEnd();

private:
    int m_device = -1;
    int m_terminal = -1;
    std::string m_name;
};

} // namespace kestran::simulator
