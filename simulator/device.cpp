// SPDX-License-Identifier: MIT
#include "simulator/device.h"

#include "notation/notation.h"
#include "simulator/pseudoterminal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <poll.h>
#include <unistd.h>

namespace kestran::simulator {

namespace {

using notation::CR;
using notation::STX;

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

struct Scheduled {
    Clock::time_point when;
    std::string bytes;
};

} // namespace

std::vector<std::string> FrameReader::feed(std::string_view bytes)
{
    std::vector<std::string> frames;
    for (const char byte : bytes) {
        if (byte == STX) {
            m_inFrame = true;
            m_payload.clear();
        } else if (m_inFrame && byte == CR) {
            frames.push_back(m_payload);
            m_inFrame = false;
        } else if (m_inFrame && m_payload.size() < keptPayload) {
            m_payload += byte;
        }
    }
    return frames;
}

Stream::Stream(const Options& options)
    : m_shape(options.streamShape), m_limit(options.streamBytes),
      m_floods(options.streamEveryMs.value_or(-1) == 0)
{
}

bool Stream::finished() const
{
    return m_limit && m_sent >= *m_limit;
}

std::string Stream::next()
{
    std::string piece;
    // A flood hands the line a few kilobytes at a time; a slow stream a line.
    const std::size_t wanted = m_floods ? 4096 : 1;
    while (piece.size() < wanted) {
        switch (m_shape) {
        case StreamShape::text:
            piece += "line " + std::to_string(++m_lines) + " without STX\r\n";
            break;
        case StreamShape::endlessFrame:
            if (m_sent == 0 && piece.empty())
                piece += STX;
            piece += "abcdefghijklmnopqrstuvwxyz0123456789";
            break;
        case StreamShape::random:
            for (int i = 0; i < 64; ++i) {
                // xorshift32: fast, and the same stream on every run.
                m_random ^= m_random << 13;
                m_random ^= m_random >> 17;
                m_random ^= m_random << 5;
                const char byte = static_cast<char>(m_random & 0xFF);
                piece += byte == STX ? '\x03' : byte;
            }
            break;
        }
    }
    if (m_limit)
        piece.resize(std::min(piece.size(), *m_limit - m_sent));
    m_sent += piece.size();
    return piece;
}

std::vector<std::string> answerFor(const std::string& payload, const Options& options)
{
    if (options.silent)
        return {};
    const std::string frame = STX + options.reply.value_or(payload) + "\r\n";
    const std::size_t pieces =
        std::min<std::size_t>(static_cast<std::size_t>(options.pieces), frame.size());
    std::vector<std::string> out;
    for (int answer = 0; answer < options.answers; ++answer) {
        std::size_t at = 0;
        for (std::size_t piece = 0; piece < pieces; ++piece) {
            const std::size_t end = frame.size() * (piece + 1) / pieces;
            out.push_back(frame.substr(at, end - at));
            at = end;
        }
    }
    return out;
}

int serve(const Options& options)
{
    std::optional<PseudoTerminal> pty;
    try {
        pty.emplace();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kestran-device: %s\n", failure.what());
        return 1;
    }
    const int device = pty->deviceEnd();
    std::printf("%s\n", pty->portName().c_str());
    std::fflush(stdout);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGHUP, requestStop);

    FrameReader reader;
    std::deque<Scheduled> schedule;
    std::size_t scheduledBytes = 0;
    std::size_t dropped = 0; // answers beyond the bound, while nobody read
    std::string answers;     // due, not yet taken by the line; they go before the stream
    std::string streamOut;   // stream bytes not yet taken by the line
    Stream stream(options);
    const bool streaming = options.streamEveryMs.has_value();
    auto nextStream = Clock::now();
    bool reportedHalf = false;
    bool reportedEnd = false;

    while (!g_stop) {
        const auto now = Clock::now();
        while (!schedule.empty() && schedule.front().when <= now) {
            answers += schedule.front().bytes;
            scheduledBytes -= schedule.front().bytes.size();
            schedule.pop_front();
        }
        if (streaming && streamOut.empty() && !stream.finished() && now >= nextStream) {
            streamOut = stream.next();
            nextStream = now + std::chrono::milliseconds(*options.streamEveryMs);
        }
        if (options.streamBytes && !reportedHalf && stream.sent() >= *options.streamBytes / 2) {
            std::printf("streamed half\n");
            std::fflush(stdout);
            reportedHalf = true;
        }
        if (stream.finished() && streamOut.empty() && !reportedEnd) {
            std::printf("streamed %zu bytes\n", stream.sent());
            std::fflush(stdout);
            reportedEnd = true;
        }

        int timeoutMs = -1;
        const auto wakeAt = [&](Clock::time_point when) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now());
            const int ms = static_cast<int>(std::max<long>(0, wait.count()));
            timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
        };
        if (!schedule.empty())
            wakeAt(schedule.front().when);
        // While bytes wait for the line, its readiness wakes us, not a clock.
        if (streaming && streamOut.empty() && !stream.finished())
            wakeAt(nextStream);

        const bool haveOutput = !answers.empty() || !streamOut.empty();
        pollfd watch{device, static_cast<short>(POLLIN | (haveOutput ? POLLOUT : 0)), 0};
        if (::poll(&watch, 1, timeoutMs) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (watch.revents & POLLIN) {
            char buffer[4096];
            const ssize_t n = ::read(device, buffer, sizeof buffer);
            if (n > 0) {
                for (const auto& payload :
                     reader.feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
                    auto when = Clock::now();
                    for (auto& piece : answerFor(payload, options)) {
                        if (answers.size() + scheduledBytes + piece.size() > answersWaitingAtMost) {
                            dropped += piece.size();
                            continue;
                        }
                        scheduledBytes += piece.size();
                        schedule.push_back({when, std::move(piece)});
                        when += std::chrono::milliseconds(options.pauseMs);
                    }
                }
            }
        }
        if (watch.revents & POLLOUT) {
            std::string& out = answers.empty() ? streamOut : answers;
            const ssize_t n = ::write(device, out.data(), out.size());
            if (n > 0)
                out.erase(0, static_cast<std::size_t>(n));
        }
    }
    if (dropped > 0)
        std::fprintf(stderr, "kestran-device: %zu bytes of answers nobody read were dropped\n",
                     dropped);
    return 0;
}

} // namespace kestran::simulator
