#include "simulator/device.h"

#include <gtest/gtest.h>

namespace kestran::simulator {
namespace {

using Strings = std::vector<std::string>;

TEST(FrameReader, CutsFramesOutOfPiecesOfAnySize)
{
    const std::vector<std::pair<Strings, Strings>> cases = {
        {{"\x02", "0", "1\r", "\n"}, {"01"}},
        {{"\002a\r\n\002b\r\n"}, {"a", "b"}},
        {{"zz\002a\rqq\n"}, {"a"}},
        {{"\002lost\002kept\r"}, {"kept"}},
        {{"abc\r\n", "\002abc"}, {}},
    };
    for (const auto& [pieces, expected] : cases) {
        FrameReader reader;
        Strings frames;
        for (const auto& piece : pieces)
            for (auto& frame : reader.feed(piece))
                frames.push_back(frame);
        EXPECT_EQ(frames, expected) << pieces[0];
    }
}

TEST(Answer, FollowsTheOptions)
{
    const std::vector<std::pair<Strings, Strings>> cases = {
        {{}, {"\002ping\r\n"}},
        {{"--reply", "OK"}, {"\002OK\r\n"}},
        {{"--pieces", "3"}, {"\002p", "in", "g\r\n"}},
        {{"--pieces", "99"}, {"\x02", "p", "i", "n", "g", "\r", "\n"}},
        {{"--twice"}, {"\002ping\r\n", "\002ping\r\n"}},
        {{"--silent"}, {}},
    };
    for (const auto& [arguments, pieces] : cases) {
        Options options;
        ASSERT_FALSE(parseOptions(arguments, options));
        EXPECT_EQ(answerFor("ping", options), pieces);
    }
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
