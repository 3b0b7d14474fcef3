// SPDX-License-Identifier: MIT
#pragma once

// The log's file: a regular file opened for appending, to which each write
// goes whole or fails. Anything but a regular file is refused before it is
// opened: opening a FIFO would wait for a reader, and opening a port would
// raise its DTR. One file per platform says how.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestran::record {

class LogFile {
public:
    LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile() { close(); }

    // path is UTF-8; false, and why, when it cannot be opened.
    bool open(const std::string& path, std::string& problem);
    bool isOpen() const { return m_handle != closed; }
    // All of the bytes, appended; false, and why, when the system took less.
    bool append(std::string_view bytes, std::string& problem);
    void close();

private:
    static constexpr std::intptr_t closed = -1;
    std::intptr_t m_handle = closed;
};

} // namespace kestran::record
