// SPDX-License-Identifier: MIT
#include "record/sessionlog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestran::record {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

// Which bytes stand as themselves in the quotes.
struct Plain {
    bool byte[256] = {};
    constexpr Plain()
    {
        for (int b = 0x20; b < 0x7F; ++b)
            byte[b] = b != '"' && b != '\\';
    }
};
constexpr Plain plain;

// The time as the log writes it. The date, time and offset of a second are
// worked out once, when it begins: a flood writes many lines a second.
void wallClock(std::string& into)
{
    static std::time_t second = -1;
    static char prefix[32];
    static char zone[32];
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    if (seconds != second) {
        std::tm local{};
        ::localtime_r(&seconds, &local);
        std::strftime(prefix, sizeof prefix, "%Y-%m-%dT%H:%M:%S", &local);
        char offset[16];
        std::strftime(offset, sizeof offset, "%z", &local); // +0100
        std::snprintf(zone, sizeof zone, "%.3s:%s", offset, offset + 3);
        second = seconds;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    char text[96];
    std::snprintf(text, sizeof text, "%s.%03d%s", prefix, static_cast<int>(ms.count()), zone);
    into.assign(text);
}

} // namespace

void appendQuoted(std::string_view bytes, std::string& into)
{
    // Sized for the worst case once, then written in place: a flood goes
    // through here byte by byte.
    const std::size_t start = into.size();
    into.resize(start + 4 * bytes.size() + 2);
    char* out = into.data() + start;
    *out++ = '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (plain.byte[byte]) {
            *out++ = c;
        } else if (byte == '"' || byte == '\\') {
            *out++ = '\\';
            *out++ = c;
        } else {
            *out++ = '\\';
            *out++ = 'x';
            *out++ = hexDigits[byte >> 4];
            *out++ = hexDigits[byte & 15];
        }
    }
    *out++ = '"';
    into.resize(static_cast<std::size_t>(out - into.data()));
}

std::string quoted(std::string_view bytes)
{
    std::string text;
    appendQuoted(bytes, text);
    return text;
}

SessionLog::~SessionLog()
{
    if (m_file >= 0)
        ::close(m_file);
}

bool SessionLog::open(const std::string& path, std::string& problem)
{
    // Anything but a regular file is refused before it is opened: opening a
    // FIFO would wait for a reader, and opening a tty would raise its DTR.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        problem = "it is not a regular file";
        return false;
    }
    m_file = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                    0644);
    if (m_file < 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (::fstat(m_file, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = "it is not a regular file";
        ::close(m_file);
        m_file = -1;
        return false;
    }
    m_path = path;
    return true;
}

void SessionLog::entry(std::string_view kind, std::string_view rest, std::string_view bytes)
{
    if (m_file < 0)
        return;
    wallClock(m_line);
    if (m_leftOnce) {
        char since[32];
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - m_left).count();
        std::snprintf(since, sizeof since, " +%.1f ", ms);
        m_line += since;
    } else {
        m_line += " - ";
    }
    m_line.append(kind);
    m_line += ' ';
    m_line.append(rest);
    if (rest.empty())
        appendQuoted(bytes, m_line);
    m_line += '\n';
    // One write a line: a line is whole in the file or not there at all.
    for (std::size_t done = 0; done < m_line.size();) {
        const ssize_t wrote = ::write(m_file, m_line.data() + done, m_line.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            m_failure = m_path + ": " + std::strerror(wrote < 0 ? errno : ENOSPC);
            ::close(m_file);
            m_file = -1;
            return;
        }
        done += static_cast<std::size_t>(wrote);
    }
}

void SessionLog::start(const std::string& what)
{
    entry("start", what);
}

void SessionLog::frame(std::string_view bytes)
{
    entry("frame", {}, bytes);
}

void SessionLog::frameLeft(Clock::time_point when)
{
    m_left = when;
    m_leftOnce = true;
    entry("sent", "the frame's last byte left the port");
}

void SessionLog::read(std::string_view bytes)
{
    entry("read", {}, bytes);
}

void SessionLog::row(std::string_view line, std::size_t cutBytes, std::int64_t responseUs,
                     const std::string& lineErrors)
{
    std::string rest = quoted(line);
    if (cutBytes > 0)
        rest += " not-kept=" + std::to_string(cutBytes);
    if (responseUs >= 0) {
        char response[48];
        std::snprintf(response, sizeof response, " response=%.1fms",
                      static_cast<double>(responseUs) / 1000);
        rest += response;
    }
    if (!lineErrors.empty())
        rest += " line-errors=" + quoted(lineErrors);
    entry("row", rest);
}

void SessionLog::cleared()
{
    entry("clear", "the list was emptied");
}

void SessionLog::told(const std::string& text)
{
    entry("message", quoted(text));
}

void SessionLog::lineErrors(const std::string& rise)
{
    entry("line-errors", quoted(rise));
}

void SessionLog::end(std::int64_t unsent, const std::string& lineErrors)
{
    std::string rest = "unsent=" + std::to_string(unsent);
    if (!lineErrors.empty())
        rest += " line-errors=" + quoted(lineErrors);
    entry("end", rest);
}

std::string SessionLog::takeFailure()
{
    return std::exchange(m_failure, {});
}

} // namespace kestran::record
