// SPDX-License-Identifier: MIT
#pragma once

// A pseudo-terminal pair in which the test plays the device: the program opens
// the terminal end by its name, the test reads and writes the device end.

#include <chrono>
#include <string>

namespace kestran::testing {

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // The name the program opens, such as /dev/pts/3.
    const std::string& portName() const { return m_name; }

    void write(const std::string& bytes);
    // Reads until `count` bytes have come or the timeout passes.
    std::string read(std::size_t count, std::chrono::milliseconds timeout);
    // The device disappears.
    void closeDevice();

private:
    int m_device = -1;
    int m_terminal = -1;
    std::string m_name;
};

// CPU time (user + system) this process has used so far.
std::chrono::microseconds processCpuTime();

} // namespace kestran::testing
