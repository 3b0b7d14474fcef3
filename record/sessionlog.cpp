// SPDX-License-Identifier: MIT
#include "record/sessionlog.h"

#include "notation/notation.h"
#include "notation/spelling.h"

#include <cstdio>
#include <ctime>

namespace kestran::record {

namespace {

using terminal::Moment;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long daysFromCivil(long long year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto ofEra = static_cast<unsigned>(year - era * 400);
    const unsigned ofYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned eraDay = ofEra * 365 + ofEra / 4 - ofEra / 100 + ofYear;
    return era * 146097 + static_cast<long long>(eraDay) - 719468;
}

// The time as the log writes it. The date, time and offset of a second are
// worked out once, when it begins: a flood writes many lines a second.
void appendTime(const Moment& at, std::string& into)
{
    static std::time_t second = -1;
    static char prefix[96];
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at.wall);
    if (seconds != second) {
        // The offset is local time read as if it were UTC, less UTC itself;
        // one way on every platform, whatever its strftime makes of %z.
        const std::tm local = *std::localtime(&seconds);
        const long long asUtc =
            daysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                          static_cast<unsigned>(local.tm_mday)) *
                86400 +
            local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
        const long long offsetMinutes = (asUtc - static_cast<long long>(seconds)) / 60;
        char date[32];
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
        const long long away = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
        std::snprintf(prefix, sizeof prefix, "%s.%%03d%c%02lld:%02lld", date,
                      offsetMinutes < 0 ? '-' : '+', away / 60, away % 60);
        second = seconds;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(at.wall.time_since_epoch()) % 1000;
    char text[128];
    const int length = std::snprintf(text, sizeof text, prefix, static_cast<int>(ms.count()));
    into.append(text, static_cast<std::size_t>(length));
}

} // namespace

bool SessionLog::open(const std::string& path, std::string& problem)
{
    m_path = path;
    return m_file.open(path, problem);
}

void SessionLog::begin(const Moment& at, std::string_view kind)
{
    if (!m_lines.empty())
        m_lines += '\n'; // the event's entry before this one
    appendTime(at, m_lines);
    if (m_left) {
        char since[32];
        const double ms = std::chrono::duration<double, std::milli>(at.steady - *m_left).count();
        const int length = std::snprintf(since, sizeof since, " +%.1f ", ms);
        m_lines.append(since, static_cast<std::size_t>(length));
    } else {
        m_lines += " - ";
    }
    m_lines.append(kind);
    m_lines += ' ';
}

// One write an event: its lines are whole in the file or not there at all.
// A chunk and its row written apart cost the log twice the system calls,
// most of what it added to taking a flood in (bench/README.md, the soak).
void SessionLog::write()
{
    m_lines += '\n';
    std::string problem;
    const bool wrote = m_file.append(m_lines, problem);
    m_lines.clear();
    if (wrote)
        return;
    m_file.close();
    if (m_failed)
        m_failed(m_path + ": " + problem);
}

void SessionLog::start(const std::string& what)
{
    if (!isOpen())
        return;
    begin(Moment::now(), "start");
    m_lines += what;
    write();
}

void SessionLog::frame(std::string_view bytes)
{
    if (!isOpen())
        return;
    begin(Moment::now(), "frame");
    notation::appendQuoted(bytes, m_lines);
    write();
}

void SessionLog::frameLeft(const std::optional<Moment>& at)
{
    if (!isOpen())
        return;
    // Given up on, the frame's leaving is not known: the times stay counted
    // from the one before.
    if (at)
        m_left = at->steady;
    begin(at.value_or(Moment::now()), "sent");
    m_lines += at ? "the frame's last byte left the port"
                  : "the port stopped looking before the frame's last byte left";
    write();
}

void SessionLog::read(const terminal::Chunk& chunk, const terminal::Row* made)
{
    if (!isOpen())
        return;
    begin(chunk.at, "read");
    notation::appendQuoted(chunk.bytes, m_lines);
    if (chunk.errors.any()) {
        begin(chunk.at, "line-errors");
        notation::appendQuoted(chunk.errors.describe(), m_lines);
    }
    if (made)
        row(*made);
    write();
}

void SessionLog::row(const terminal::Row& row)
{
    begin(row.came, "row");
    m_lines += '"';
    notation::appendSpelled(notation::stxWord, m_lines);
    notation::appendSpelled(row.line->payload, m_lines);
    notation::appendSpelled(notation::crlfWord, m_lines);
    m_lines += '"';
    if (row.line->cutBytes > 0)
        m_lines += " not-kept=" + std::to_string(row.line->cutBytes);
    if (row.responseUs >= 0) {
        char response[48];
        const int length = std::snprintf(response, sizeof response, " response=%.1fms",
                                         static_cast<double>(row.responseUs) / 1000);
        m_lines.append(response, static_cast<std::size_t>(length));
    }
    if (row.lineErrors.any()) {
        m_lines += " line-errors=";
        notation::appendQuoted(row.lineErrors.describe(), m_lines);
    }
}

void SessionLog::cleared()
{
    if (!isOpen())
        return;
    begin(Moment::now(), "clear");
    m_lines += "the list was emptied";
    write();
}

void SessionLog::told(const std::string& text)
{
    if (!isOpen())
        return;
    begin(Moment::now(), "message");
    notation::appendQuoted(text, m_lines);
    write();
}

void SessionLog::end(std::int64_t unsent, const terminal::LineErrors& lineErrors)
{
    if (!isOpen())
        return;
    begin(Moment::now(), "end");
    m_lines += "unsent=" + std::to_string(unsent);
    if (lineErrors.any()) {
        m_lines += " line-errors=";
        notation::appendQuoted(lineErrors.describe(), m_lines);
    }
    write();
}

} // namespace kestran::record
