// SPDX-License-Identifier: MIT
#pragma once

// A pseudo-terminal pair that plays a device: a terminal program opens the
// terminal end by its name (portName()), and whoever plays the device reads
// and writes the device end. Both ends are raw, so bytes cross unchanged.

#include <chrono>
#include <string>

namespace kestran::simulator {

class PseudoTerminal {
public:
    // keepTerminalEnd: hold the terminal end open too. Without any open
    // terminal end the device end reports a hang-up on every poll until the
    // program opens the port; but while it is held, the program closing the
    // port does not make the line go away.
    explicit PseudoTerminal(bool keepTerminalEnd = false);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The name a program opens, such as /dev/pts/3.
    const std::string& portName() const { return m_name; }
    // The device end, non-blocking and not inherited by programs started.
    int deviceEnd() const { return m_device; }
    // Writes all the bytes, waiting for the line to take them.
    void write(const std::string& bytes);
    // Reads until `count` bytes have come or the timeout passes.
    std::string read(std::size_t count, std::chrono::milliseconds timeout);
    // The device disappears: the program sees a hang-up.
    void closeDevice();

private:
    int m_device = -1;
    int m_terminal = -1;
    std::string m_name;
};

} // namespace kestran::simulator
