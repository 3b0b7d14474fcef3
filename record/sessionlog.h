// SPDX-License-Identifier: MIT
#pragma once

// The operator's record of a session: one line per event, appended to a
// file, each written whole and handed to the system before the next event
// is handled, so that a crash or a kill loses at most the line being
// written. A line is
//
//   2026-12-08T10:22:01.123+01:00 +12.3 read "\x02ok\r\n"
//
// the wall-clock time to the millisecond with its offset; the milliseconds
// since the last frame left the port ("-" before the first); what happened;
// and its bytes, quoted. In the quotes every byte stands as itself if it is
// printable ASCII other than '"' and '\', and as \\, \" or \xHH otherwise,
// so the bytes come back exactly (tools/log-bytes).

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestran::record {

// The quoted form of bytes in the log.
std::string quoted(std::string_view bytes);
void appendQuoted(std::string_view bytes, std::string& into);

class SessionLog {
public:
    using Clock = std::chrono::steady_clock;

    SessionLog() = default;
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;
    ~SessionLog();

    // Opens the file for appending; false, and why, when it cannot be.
    bool open(const std::string& path, std::string& problem);
    bool isOpen() const { return m_file >= 0; }

    void start(const std::string& what);
    void frame(std::string_view bytes);
    void frameLeft(Clock::time_point when);
    void read(std::string_view bytes);
    void row(std::string_view line, std::size_t cutBytes, std::int64_t responseUs,
             const std::string& lineErrors);
    void cleared();
    void told(const std::string& text);
    void lineErrors(const std::string& rise);
    void end(std::int64_t unsent, const std::string& lineErrors);

    // Why writing failed, once, the first time it does; the log is closed
    // then and the session goes on without it.
    std::string takeFailure();

private:
    // A line: its time, what happened, and `rest`, or else `bytes` quoted.
    void entry(std::string_view kind, std::string_view rest, std::string_view bytes = {});

    int m_file = -1;
    std::string m_path;
    std::string m_failure;
    bool m_leftOnce = false;
    Clock::time_point m_left;
    std::string m_line; // reused, so that a flood does not allocate per entry
};

} // namespace kestran::record
