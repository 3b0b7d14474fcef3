// SPDX-License-Identifier: MIT
#pragma once

// The operator's record of a session: a line per entry, appended to a
// file. The lines of one event (a chunk read, its line errors, the row it
// made) go in one write, whole, handed to the system before the next event
// is handled, so that a crash or a kill loses at most the event being
// written. A line is
//
//   2026-12-08T10:22:01.123+01:00 +12.3 read "\x02ok\r\n"
//
// the wall-clock time of the event to the millisecond with its offset; the
// milliseconds since the last frame left the port ("-" before the first);
// what happened; and its bytes, quoted as notation/spelling.h spells them,
// so the bytes come back exactly (tools/log-bytes). It is fed with the same
// chunks and rows as the list. A log that fails (a full disk, a medium
// gone) is closed, said once, and the session goes on without it.

#include "record/logfile.h"
#include "terminal/window.h"

#include <functional>
#include <string>
#include <string_view>

namespace kestran::record {

class SessionLog : public terminal::Recorder {
public:
    using Failed = std::function<void(const std::string& why)>;

    // Opens the file for appending; false, and why, when it cannot be.
    bool open(const std::string& path, std::string& problem);
    bool isOpen() const { return m_file.isOpen(); }
    // Who hears of it, once, when the log stops working.
    void whenItFails(Failed failed) { m_failed = std::move(failed); }

    void start(const std::string& what);
    void told(const std::string& text);
    void end(std::int64_t unsent, const terminal::LineErrors& lineErrors);

    void frame(std::string_view bytes) override;
    void frameLeft(const std::optional<terminal::Moment>& at) override;
    void read(const terminal::Chunk& chunk, const terminal::Row* made) override;
    void cleared() override;

private:
    // Begins an entry: its time, the time since the frame left, its kind.
    void begin(const terminal::Moment& at, std::string_view kind);
    void row(const terminal::Row& row);
    // Ends the entry, and writes the event's entries.
    void write();

    LogFile m_file;
    std::string m_path;
    Failed m_failed;
    std::optional<std::chrono::steady_clock::time_point> m_left;
    std::string m_lines; // reused, so that a flood does not allocate per event
};

} // namespace kestran::record
