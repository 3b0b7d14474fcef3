#include "support/fakes.h"
#include "terminal/terminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestran::terminal {
namespace {

using namespace std::string_literals;
using testing::CallLog;
using testing::FakePort;
using testing::FakeWindow;
using Strings = std::vector<std::string>;

class TerminalTest : public ::testing::Test {
protected:
    void SetUp() override { port.open = true; }

    void receive(const std::string& chunk)
    {
        port.event = CommEvent::comEvReceive;
        port.waiting += chunk;
        terminal.onComm();
    }
    void send(const std::string& typed)
    {
        window.typed = typed;
        terminal.onSend();
    }

    CallLog calls;
    FakePort port{&calls};
    FakeWindow window{&calls};
    Terminal terminal{port, window};
};

TEST_F(TerminalTest, LoadOpensAClosedPortOnlyOnce)
{
    port.open = false;
    terminal.onLoad();
    terminal.onLoad();
    EXPECT_EQ(calls, (Strings{"portOpen", "openPort", "portOpen"}));
    EXPECT_TRUE(port.open);
    EXPECT_TRUE(window.notices.empty());
    EXPECT_FALSE(window.exitStatus);
}

TEST_F(TerminalTest, LoadThatCannotOpenTellsTheErrorAndEndsTheProgram)
{
    port.open = false;
    port.refuseOpen = PortError{1, "No such file or directory"};
    terminal.onLoad();
    ASSERT_EQ(window.notices.size(), 1u);
    EXPECT_EQ(window.notices[0].kind, Notice::Kind::portCannotOpen);
    EXPECT_EQ(window.notices[0].text, "Error 1: No such file or directory");
    ASSERT_TRUE(window.exitStatus);
    EXPECT_NE(*window.exitStatus, 0);
    EXPECT_EQ(calls.back(), "endProgram");
}

TEST_F(TerminalTest, SendWritesTheFrameAfterEmptyingTheCollectedText)
{
    receive("\x02old\r");
    calls.clear();
    std::size_t heldWhileWriting = 1;
    port.whileWriting = [&] { heldWhileWriting = terminal.strReceived().payload().size(); };
    send("STX01DRS,02,0001CRLF");
    EXPECT_EQ(calls, (Strings{"portOpen", "commandText", "output"}));
    EXPECT_EQ(port.written, (Strings{"\00201DRS,02,0001\r\n"}));
    EXPECT_EQ(heldWhileWriting, 0u);
    EXPECT_EQ(window.typed, "STX01DRS,02,0001CRLF");
    EXPECT_EQ(window.list.size(), 1u) << "the sent command is not echoed";
}

TEST_F(TerminalTest, SendOnAClosedPortDoesNothing)
{
    receive("\002AB");
    port.open = false;
    calls.clear();
    send("STX1CRLF");
    EXPECT_EQ(calls, (Strings{"portOpen"}));
    EXPECT_TRUE(port.written.empty());
    port.open = true;
    receive("\r");
    EXPECT_EQ(window.lines(), (Strings{"STXABCRLF"})) << "collected text kept";
}

TEST_F(TerminalTest, SendWithoutAFrameTellsWhyAndKeepsTheCollectedText)
{
    const Strings typedWithoutFrame{"STX01", "stx01crlf", "", "X", "CRLFX"};
    receive("\x02");
    for (const auto& typed : typedWithoutFrame) {
        SCOPED_TRACE(typed);
        window.notices.clear();
        receive("AB");
        send(typed);
        EXPECT_TRUE(port.written.empty());
        ASSERT_EQ(window.notices.size(), 1u);
        EXPECT_EQ(window.notices[0].kind, Notice::Kind::noFrame);
        EXPECT_NE(window.notices[0].text.find("\"CRLF\""), std::string::npos);
    }
    receive("\r");
    EXPECT_EQ(window.lines(), (Strings{"STXABABABABABCRLF"}));
}

TEST_F(TerminalTest, CommReadsOnlyOnReceiveNotifications)
{
    port.waiting = "\002A\r";
    for (const auto event : {CommEvent::comEvSend, CommEvent::comEvLineState}) {
        calls.clear();
        port.event = event;
        terminal.onComm();
        EXPECT_EQ(calls, (Strings{"portOpen", "commEvent"}));
    }
    EXPECT_EQ(port.waiting, "\002A\r");
    EXPECT_TRUE(window.list.empty());

    calls.clear();
    port.open = false;
    port.event = CommEvent::comEvReceive;
    terminal.onComm();
    EXPECT_EQ(calls, (Strings{"portOpen"}));

    calls.clear();
    port.open = true;
    terminal.onComm();
    EXPECT_EQ(calls, (Strings{"portOpen", "commEvent", "input", "appendLine"}));
    EXPECT_EQ(window.lines(), (Strings{"STXACRLF"}));
}

// Scripts of steps: "<" and the bytes of a received chunk, ">" and typed text
// to send, or "clear"; then the list the operator sees.
TEST_F(TerminalTest, ShowsTheFirstResponseOfEachSendAsTheBytesArrive)
{
    struct Case {
        const char* name;
        Strings steps;
        Strings lines;
    };
    const std::vector<Case> cases = {
        {"response in two chunks", {"<\002AB", "<C\r\n"}, {"STXABCCRLF"}},
        {"a chunk without CR shows nothing", {"<\002AB", "<\n", "<C"}, {}},
        {"the LF after the CR shows nothing", {"<\002A\r", "<\n"}, {"STXACRLF"}},
        {"every later CR repeats the first line",
         {">STX1CRLF", "<\002first\r\n", "<\002second\r\n", "<\r"},
         {"STXfirstCRLF", "STXfirstCRLF", "STXfirstCRLF"}},
        {"clear, then the same line again", {"<\002A\r", "clear", "<\r"}, {"STXACRLF"}},
        {"a send starts collecting afresh",
         {"<\002before", ">XCRLF", "<after\r", ">XCRLF", "<\002next\r"},
         {"STXafterCRLF", "STXnextCRLF"}},
        {"text before any send is collected", {"<hello\r"}, {"STXhelloCRLF"}},
        {"an STX after a CR replaces the line",
         {"<noise\r", "<\002fr", "<ame\r", "<x\r\002y"},
         {"STXnoiseCRLF", "STXframeCRLF", "STXframeCRLF"}},
        {"a CR before the first STX and none after it", {"<x\r\002y"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePort port;
        FakeWindow window;
        port.open = true;
        Terminal terminal(port, window);
        for (const auto& step : c.steps) {
            if (step == "clear") {
                terminal.onClear();
            } else if (step[0] == '>') {
                window.typed = step.substr(1);
                terminal.onSend();
            } else {
                port.waiting = step.substr(1);
                terminal.onComm();
            }
        }
        EXPECT_EQ(window.lines(), c.lines);
    }
}

TEST_F(TerminalTest, RepeatsShareOneTextAndClearTouchesOnlyTheList)
{
    receive("\002A\r");
    receive("\r");
    EXPECT_EQ(window.list[0].get(), window.list[1].get());
    calls.clear();
    terminal.onClear();
    EXPECT_EQ(calls, (Strings{"clearList"}));
    EXPECT_TRUE(window.list.empty());
}

TEST_F(TerminalTest, LostLineClosesThePortAndTellsOnce)
{
    port.event = CommEvent::comEvError;
    port.error = PortError{7, "Input/output error"};
    for (int i = 0; i < 5; ++i)
        terminal.onComm();
    EXPECT_EQ(port.closes, 1);
    ASSERT_EQ(window.notices.size(), 1u);
    EXPECT_EQ(window.notices[0].kind, Notice::Kind::portLost);
    EXPECT_EQ(window.notices[0].text, "Error 7: Input/output error");
    send("STX1CRLF");
    EXPECT_TRUE(port.written.empty());
    EXPECT_FALSE(window.exitStatus);
}

TEST_F(TerminalTest, ExitEndsTheProgramAtOnce)
{
    terminal.onExit();
    EXPECT_EQ(calls, (Strings{"endProgram"}));
    EXPECT_EQ(window.exitStatus, 0);
}

TEST(TerminalCap, AnEndlessFrameIsCutVisiblyAndStaysBounded)
{
    FakePort port;
    FakeWindow window;
    port.open = true;
    Terminal terminal(port, window, 8);
    const auto receive = [&](const std::string& chunk) {
        port.waiting = chunk;
        terminal.onComm();
    };
    receive("\0020123");
    for (int i = 0; i < 1000; ++i)
        receive("abcdefgh");
    EXPECT_LE(terminal.strReceived().heldBytes(), 64u);
    receive("tail\r");
    EXPECT_EQ(window.lines(), (Strings{"STX0123abcd\xE2\x80\xA6[8000 more bytes not kept]CRLF"}));
}

TEST(TerminalCap, TextWithoutStxIsCutTheSameWay)
{
    FakePort port;
    FakeWindow window;
    port.open = true;
    Terminal terminal(port, window, 4);
    port.waiting = "123456\r";
    terminal.onComm();
    EXPECT_EQ(window.lines(), (Strings{"STX1234\xE2\x80\xA6[2 more bytes not kept]CRLF"}));
}

} // namespace
} // namespace kestran::terminal
