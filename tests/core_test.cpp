// SPDX-License-Identifier: MIT
// The notation and the terminal without Qt: the defining cases, checked on the
// implementation and on the literal transcription alike; what the operator is
// told; and seeded random scripts on which both must agree.

#include "notation/notation.h"
#include "support/fakes.h"
#include "support/literal.h"
#include "terminal/terminal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace kestran {
namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;
using terminal::CommEvent;
using terminal::Notice;
using terminal::PortError;

TEST(Notation, TypedTextFramesAsTheMarkersSay)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"STX01DRS,02,0001CRLF", "\00201DRS,02,0001\r\n"s},
        {"01DRS,02,0001CRLF", "\00201DRS,02,0001\r\n"s},
        {"01MAX,5CRLF", "\002,5\r\n"s},
        {"STXCRLF", "\x02\r\n"s},
        {"STX01CRLF99", "\00201\r\n"s},
        {"STX0X1CRLF", "\0020X1\r\n"s},
        {"STX1CRLF2CRLF", "\0021\r\n"s},
        {"CRLFX5CRLF", "\0025\r\n"s},
        {"XCRLF", "\x02\r\n"s},
        {"STX\xED\x95\x9C\0CRLF"s, "\x02\xED\x95\x9C\0\r\n"s},
        {"stx01crlf", std::nullopt},
        {"", std::nullopt},
        {"CRLFX", std::nullopt},
        {"CRLX", std::nullopt},
        {"XCRL F", std::nullopt},
    };
    for (const auto& [typed, frame] : cases) {
        EXPECT_EQ(notation::frameCommand(typed), frame) << typed;
        EXPECT_EQ(literal::frameCommand(typed), frame) << typed;
    }
}

TEST(Notation, CollectedBytesShowTheFirstFrame)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"\00201DRS,02,0001\r\n", "STX01DRS,02,0001CRLF"s},
        {"abc\r", "STXabcCRLF"s},
        {"zz\002AB\r\n", "STXABCRLF"s},
        {"\002A\r\n\002B\r\n", "STXACRLF"s},
        {"\002A\002B\r", "STXA\002BCRLF"s},
        {"\r", "STXCRLF"s},
        {"x\r\x02y", std::nullopt},
        {"\002AB", std::nullopt},
        {"\n\n", std::nullopt},
    };
    for (const auto& [collected, line] : cases) {
        EXPECT_EQ(notation::formatResponse(collected), line) << collected;
        EXPECT_EQ(literal::formatResponse(collected), line) << collected;
    }
}

// The pieces of a line, each translated one in braces.
std::string pieces(const notation::FormedLine& line, const notation::Drawable& drawable = {})
{
    std::string shown;
    notation::LineWalker walker(line, drawable);
    for (notation::Piece piece; walker.next(piece);)
        shown += piece.translated ? "{" + piece.text + "}" : piece.text;
    return shown;
}

TEST(Notation, EveryByteShowsAsItselfOrVisiblyTranslated)
{
    const std::string acute = "\xCC\x81";
    const std::vector<std::tuple<std::string, std::size_t, std::string>> cases = {
        {"STX\xED\x95\x9C\xD7\xA9\xF0\x9F\x98\x80" "CRLF", 0, "STX\xED\x95\x9C\xD7\xA9\xF0\x9F\x98\x80" "CRLF"},
        {"a\0\n\x1F\x7F"s, 0, "a{NUL}{LF}{US}{DEL}"},
        {"caf\xE9\xFF\x80" "z", 0, "caf{\\xE9}{\\xFF}{\\x80}z"},
        {"\xE2\202" "A\xED\x95", 0, "{\\xE2}{\\x82}A{\\xED}{\\x95}"},
        {"\xC0\xAF\xED\xA0\x80\xF4\x90", 0, "{\\xC0}{\\xAF}{\\xED}{\\xA0}{\\x80}{\\xF4}{\\x90}"},
        {"\xC3\xC3\xA9", 0, "{\\xC3}\xC3\xA9"},
        {"\xE2\x80\xAEKO\xE2\x80\xA8" "E", 0, "{U+202E}KO{U+2028}E"},
        {"\xE2\x80\x8B\xEF\xBB\xBF\xC2\x85\xC2\xA0\xC2\xAD", 0, "{U+200B}{U+FEFF}{U+0085}{U+00A0}{U+00AD}"},
        {"\xEE\x80\x80\xCD\xB8\xF3\xA0\x80\x81\xF4\x80\x80\x80", 0, "{U+E000}{U+0378}{U+E0001}{U+100000}"},
        {"a" + acute + acute + acute + acute + "\x01" + acute, 0,
         "a" + acute + acute + acute + "{U+0301}{SOH}{U+0301}"},
        {acute, 0, "{U+0301}"},
        {"STXabcCRLF", 70000, "STXabc{\xE2\x80\xA6[70000 more bytes not kept]}CRLF"},
    };
    for (const auto& [bytes, cut, shown] : cases)
        EXPECT_EQ(pieces({bytes, cut}), shown) << bytes;
    EXPECT_EQ(pieces({"a\xCF\x88", 0}, [](char32_t c) { return c != U'\u03C8'; }), "a{U+03C8}");
}

// What the operator is told, the exit status and the port's state, for each
// reaction that has something to say.
TEST(Terminal, TellsTheOperatorWhatHappened)
{
    struct Case {
        const char* name;
        std::optional<PortError> refuseOpen;
        std::string typed;
        std::size_t waitingOut;
        int lineErrors;
        Strings notices;
        std::optional<int> exitStatus;
        bool openAfter;
    };
    const std::vector<Case> cases = {
        {"load opens", {}, "", 0, 0, {}, {}, true},
        {"load refused", PortError{1, "No such file"}, "", 0, 0, {"Error 1: No such file"}, 1, false},
        {"no CRLF at all", {}, "01", 0, 0,
         {"Nothing was sent: the command has no \"CRLF\" to end it."}, {}, true},
        {"no CRLF after X", {}, "CRLFX", 0, 0,
         {"Nothing was sent: there is no \"CRLF\" after the start marker \"X\"."}, {}, true},
        {"line lost, told once", {}, "XCRLF", 0, 3, {"Error 7: Input/output error"}, {}, false},
        {"output just fits", {}, "XCRLF", terminal::Terminal::outputLimit - 3, 0, {}, {}, true},
        {"output full", {}, "XCRLF", terminal::Terminal::outputLimit - 2, 0,
         {"Nothing was sent: the device is not taking data, and 65534 bytes are still waiting to "
          "go out."},
         {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakePort port;
        testing::FakeWindow window;
        terminal::Terminal terminal(port, window);
        port.refuseOpen = c.refuseOpen;
        port.waitingOut = c.waitingOut;
        terminal.onLoad();
        port.event = CommEvent::comEvError;
        port.error = PortError{7, "Input/output error"};
        for (int i = 0; i < c.lineErrors; ++i)
            terminal.onComm();
        window.typed = c.typed;
        if (!c.typed.empty())
            terminal.onSend();
        Strings told;
        for (const auto& notice : window.notices)
            told.push_back(notice.text);
        EXPECT_EQ(told, c.notices);
        EXPECT_EQ(window.exitStatus, c.exitStatus);
        EXPECT_EQ(port.open, c.openAfter);
        EXPECT_EQ(port.written.empty(), c.typed.empty() || c.lineErrors || !c.notices.empty());
    }
}

// Bytes with the markers frequent, so that every arrangement of STX, CR and LF
// around ordinary text turns up often; typed text from the notation's words.
std::string randomScript(std::mt19937& random)
{
    static const std::string received = "\x02\x02\r\r\r\n\nabX\0\x03\xC3\xA9\xFF"s;
    static const Strings words = {"STX", "X", "CRLF", "CR", "LF", "01", ","};
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    std::string script;
    for (std::size_t events = pick(40) + 1; events > 0; --events) {
        const std::size_t kind = pick(100);
        if (kind < 75) {
            const std::size_t length = pick(16);
            script += static_cast<char>(literal::events::receive | length << 3);
            for (std::size_t i = 0; i <= length; ++i)
                script += received[pick(received.size())];
        } else if (kind < 87) {
            std::string typed;
            for (std::size_t count = pick(6); count > 0; --count)
                typed += words[pick(words.size())];
            script += static_cast<char>(literal::events::send | typed.size() << 3);
            script += typed;
        } else {
            // clear, other notification, line lost, or a port event
            static constexpr unsigned char rare[] = {4, 4, 4, 5, 5, 6, 7, 7 | 1 << 3, 7 | 2 << 3,
                                                     7 | 3 << 3};
            script += static_cast<char>(rare[pick(sizeof rare)]);
        }
    }
    return script;
}

// The seed of the first script; KESTRAN_SEED reruns one that failed.
std::uint32_t baseSeed()
{
    const char* given = std::getenv("KESTRAN_SEED");
    return given ? static_cast<std::uint32_t>(std::strtoul(given, nullptr, 10)) : 20261207;
}

// Half of the scripts run with a keep limit of a few bytes, so that cutting a
// long payload is as ordinary as showing a whole one.
TEST(Terminal, AgreesWithTheLiteralTranscriptionOnRandomScripts)
{
    constexpr int scripts = 100000;
    int failures = 0;
    for (int n = 0; n < scripts && failures < 5; ++n) {
        const std::uint32_t seed = baseSeed() + static_cast<std::uint32_t>(n);
        std::mt19937 random(seed);
        const std::size_t keepLimit =
            n % 2 ? terminal::Received::defaultKeepLimit : random() % 32 + 1;
        const std::string difference = literal::differenceOnScript(randomScript(random), keepLimit);
        if (!difference.empty()) {
            ++failures;
            ADD_FAILURE() << difference << " (rerun with KESTRAN_SEED=" << seed << ")";
        }
    }
}

// An endless frame must not make the program grow.
TEST(Terminal, KeepsWhatItCollectsBounded)
{
    testing::FakePort port;
    testing::FakeWindow window;
    terminal::Terminal terminal(port, window, 8);
    terminal.onLoad();
    port.waiting = "\x02";
    terminal.onComm();
    for (int i = 0; i < 10000; ++i) {
        port.waiting = "abcdefgh";
        terminal.onComm();
    }
    EXPECT_LE(terminal.strReceived().heldBytes(), 64u);
}

} // namespace
} // namespace kestran
