#include "simulator/device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestran::simulator {
namespace {

using Strings = std::vector<std::string>;

TEST(FrameReader, CutsFramesOutOfPiecesOfAnySize)
{
    struct Case {
        const char* name;
        Strings pieces;
        Strings frames;
    };
    const std::vector<Case> cases = {
        {"one frame", {"\00201DRS\r\n"}, {"01DRS"}},
        {"split everywhere", {"\x02", "0", "1\r", "\n"}, {"01"}},
        {"two in one piece", {"\002a\r\n\002b\r\n"}, {"a", "b"}},
        {"noise outside frames skipped", {"zz\002a\rqq\n"}, {"a"}},
        {"a new STX restarts the frame", {"\002lost\002kept\r"}, {"kept"}},
        {"CR without STX is no frame", {"abc\r\n"}, {}},
        {"unfinished frame waits", {"\002abc"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrameReader reader;
        Strings frames;
        for (const auto& piece : c.pieces)
            for (auto& frame : reader.feed(piece))
                frames.push_back(frame);
        EXPECT_EQ(frames, c.frames);
    }
}

TEST(Answer, EchoesRepliesAndCutsAsAsked)
{
    struct Case {
        const char* name;
        Strings arguments;
        Strings pieces;
    };
    const std::vector<Case> cases = {
        {"echo", {}, {"\002ping\r\n"}},
        {"fixed reply", {"--reply", "OK"}, {"\002OK\r\n"}},
        {"three pieces", {"--pieces", "3"}, {"\002p", "in", "g\r\n"}},
        {"more pieces than bytes", {"--pieces", "99"}, {"\x02", "p", "i", "n", "g", "\r", "\n"}},
        {"twice", {"--twice"}, {"\002ping\r\n", "\002ping\r\n"}},
        {"silent", {"--silent"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Options options;
        ASSERT_FALSE(parseOptions(c.arguments, options));
        EXPECT_EQ(answerFor("ping", options), c.pieces);
    }
}

TEST(Options, RejectsWhatItDoesNotUnderstand)
{
    const std::vector<Strings> wrong = {
        {"--pieces", "0"}, {"--pieces", "x"},   {"--pause", "-1"}, {"--stream"},      {"--reply"},
        {"--loud"},        {"--flood", "lava"}, {"--bytes", "0"},  {"--bytes", "-5"},
    };
    for (const auto& arguments : wrong) {
        Options options;
        EXPECT_TRUE(parseOptions(arguments, options)) << arguments[0];
    }
}

} // namespace
} // namespace kestran::simulator

namespace kestran::simulator {
namespace {

TEST(Stream, EachShapeKeepsItsPromiseAndItsLength)
{
    struct Case {
        const char* shape;
        bool startsWithStx;
        bool holdsStx;
        bool holdsCr;
    };
    const std::vector<Case> cases = {
        {"text", false, false, true},
        {"frame", true, true, false},
        {"random", false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        Options options;
        ASSERT_FALSE(parseOptions({"--flood", c.shape, "--bytes", "100000"}, options));
        Stream stream(options);
        std::string all;
        while (!stream.finished())
            all += stream.next();
        EXPECT_EQ(all.size(), 100000u);
        EXPECT_EQ(stream.sent(), 100000u);
        EXPECT_EQ(all.front() == '\x02', c.startsWithStx);
        EXPECT_EQ(all.find('\x02') != std::string::npos, c.holdsStx);
        EXPECT_EQ(all.find('\r') != std::string::npos, c.holdsCr);
    }
}

} // namespace
} // namespace kestran::simulator
