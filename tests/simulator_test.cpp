// SPDX-License-Identifier: MIT
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
        {{"\x02", std::string(FrameReader::keptPayload + 9, 'x'), "\r"},
         {std::string(FrameReader::keptPayload, 'x')}},
    };
    for (const auto& [pieces, expected] : cases) {
        FrameReader reader;
        Strings frames;
        for (const auto& piece : pieces)
            for (auto& frame : reader.feed(piece))
                frames.push_back(frame);
        EXPECT_EQ(frames, expected) << pieces[0].substr(0, 20);
    }
}

TEST(Answer, FollowsTheOptions)
{
    const std::vector<std::pair<Strings, Strings>> cases = {
        {{}, {"\002ping\r\n"}},
        {{"--reply", "OK"}, {"\002OK\r\n"}},
        {{"--pieces=3"}, {"\002p", "in", "g\r\n"}},
        {{"--pieces", "99"}, {"\x02", "p", "i", "n", "g", "\r", "\n"}},
        {{"--twice"}, {"\002ping\r\n", "\002ping\r\n"}},
        {{"--silent"}, {}},
    };
    for (const auto& [arguments, pieces] : cases) {
        Options options;
        ASSERT_FALSE(parseOptions(arguments, options));
        EXPECT_EQ(answerFor("ping", options), pieces);
    }
    const std::vector<std::pair<Strings, std::string>> wrong = {
        {{"--pieces"}, "--pieces needs a value: a whole number from 1"},
        {{"--pieces=0"}, "--pieces takes a whole number from 1, not \"0\""},
        {{"--pause", "-1"}, "--pause takes a whole number of milliseconds, not \"-1\""},
        {{"--flood", "lava"}, "--flood takes text, frame or random, not \"lava\""},
        {{"--bytes=x"}, "--bytes takes a whole number from 1, not \"x\""},
        {{"--twice=2"}, "unknown option --twice=2"},
        {{"--loud"}, "unknown option --loud"},
    };
    for (const auto& [arguments, error] : wrong) {
        Options options;
        EXPECT_EQ(parseOptions(arguments, options), error);
    }
}

} // namespace
} // namespace kestran::simulator
