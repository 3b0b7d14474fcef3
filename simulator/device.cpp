#include "simulator/device.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kestran::simulator {

namespace {

constexpr char STX = '\x02';
constexpr char CR = '\x0D';

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

bool parseCount(const std::string& text, int minimum, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < minimum || parsed > 1000000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

struct Scheduled {
    Clock::time_point when;
    std::string bytes;
};

} // namespace

std::string usage()
{
    return "usage: kestran-device [options]\n"
           "Opens a pseudo-terminal, prints the name of the port to open in KESTRAN,\n"
           "and answers every frame (STX payload CR) with STX payload CR LF.\n"
           "  --reply TEXT   answer with TEXT as the payload instead of the one received\n"
           "  --pieces N     send every answer in N pieces\n"
           "  --pause MS     wait MS milliseconds between pieces (default 100)\n"
           "  --twice        answer every frame twice\n"
           "  --silent       never answer\n"
           "  --stream MS    also send a line without STX every MS milliseconds (0: flood)\n"
           "  --flood SHAPE  also send, as fast as the line takes it, a stream of SHAPE:\n"
           "                 text (lines without STX), frame (one STX, never a CR)\n"
           "                 or random (random bytes other than STX)\n"
           "  --bytes N      end the stream after N bytes; print \"streamed half\" halfway\n"
           "                 and \"streamed N bytes\" at the end\n"
           "  --help         show this text\n";
}

std::optional<std::string> parseOptions(const std::vector<std::string>& arguments, Options& options)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (option == "--twice") {
            options.answers = 2;
        } else if (option == "--silent") {
            options.silent = true;
        } else if (option == "--reply" && hasValue) {
            options.reply = arguments[++i];
        } else if (option == "--pieces" && hasValue) {
            if (!parseCount(arguments[++i], 1, options.pieces))
                return "--pieces takes a whole number from 1";
        } else if (option == "--pause" && hasValue) {
            if (!parseCount(arguments[++i], 0, options.pauseMs))
                return "--pause takes a whole number of milliseconds";
        } else if (option == "--stream" && hasValue) {
            int every = 0;
            if (!parseCount(arguments[++i], 0, every))
                return "--stream takes a whole number of milliseconds";
            options.streamEveryMs = every;
        } else if (option == "--flood" && hasValue) {
            const std::string shape = arguments[++i];
            if (shape == "text")
                options.streamShape = StreamShape::text;
            else if (shape == "frame")
                options.streamShape = StreamShape::endlessFrame;
            else if (shape == "random")
                options.streamShape = StreamShape::random;
            else
                return "--flood takes text, frame or random";
            options.streamEveryMs = 0;
        } else if (option == "--bytes" && hasValue) {
            char* end = nullptr;
            const std::string& text = arguments[++i];
            const unsigned long long bytes = std::strtoull(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || text[0] == '-' || bytes == 0)
                return "--bytes takes a whole number from 1";
            options.streamBytes = static_cast<std::size_t>(bytes);
        } else {
            return "not understood: " + option;
        }
    }
    return std::nullopt;
}

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
        } else if (m_inFrame) {
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
    int device = -1;
    int line = -1;
    char name[256] = {};
    if (::openpty(&device, &line, name, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "kestran-device: openpty: %s\n", std::strerror(errno));
        return 1;
    }
    termios raw{};
    ::tcgetattr(line, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(line, TCSANOW, &raw);
    ::fcntl(device, F_SETFL, ::fcntl(device, F_GETFL) | O_NONBLOCK);
    // `line` stays open: without any open terminal end the device end would
    // report a hang-up on every poll until KESTRAN opens the port.
    std::printf("%s\n", name);
    std::fflush(stdout);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGHUP, requestStop);

    FrameReader reader;
    std::deque<Scheduled> schedule;
    std::string answers;   // due, not yet taken by the line; they go before the stream
    std::string streamOut; // stream bytes not yet taken by the line
    Stream stream(options);
    const bool streaming = options.streamEveryMs.has_value();
    auto nextStream = Clock::now();
    bool reportedHalf = false;
    bool reportedEnd = false;

    while (!g_stop) {
        const auto now = Clock::now();
        while (!schedule.empty() && schedule.front().when <= now) {
            answers += schedule.front().bytes;
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
    ::close(line);
    ::close(device);
    return 0;
}

} // namespace kestran::simulator
