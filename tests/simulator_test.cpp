// SPDX-License-Identifier: MIT
#include "simulator/device.h"

#include <gtest/gtest.h>

namespace kestran::simulator {
namespace {

using Strings = std::vector<std::string>;

// Frames cut out of pieces of any size; of a long payload the first 64 KiB kept.
TEST(FrameReader, CutsFramesOutOfPiecesOfAnySize)
{
    const std::string endless(FrameReader::keptPayload + 9, 'x');
    const std::vector<std::pair<Strings, Strings>> cases = {
        {{"\x02", "0", "1\r", "\n"}, {"01"}},
        {{"zz\002lost\002a\rqq\n\002b\r"}, {"a", "b"}},
        {{"\x02", endless, "\r"}, {endless.substr(9)}}};
    for (const auto& [pieces, expected] : cases) {
        FrameReader reader;
        Strings frames;
        for (const auto& piece : pieces)
            for (auto& frame : reader.feed(piece))
                frames.push_back(frame);
        EXPECT_EQ(frames, expected);
    }
}

// What is wrong with an option, its value given either way.
TEST(Options, SayWhatIsWrong)
{
    const std::vector<std::pair<Strings, std::optional<std::string>>> wrong = {
        {{"--pieces"}, "--pieces needs a value: a whole number from 1"},
        {{"--pause", "-1"}, "--pause takes a whole number of milliseconds, not \"-1\""},
        {{"--flood=lava"}, "--flood takes text, frame or random, not \"lava\""},
        {{"--twice=2"}, "unknown option --twice=2"},
        {{"--pieces=3", "--reply", "OK", "--silent"}, std::nullopt}};
    for (const auto& [arguments, error] : wrong) {
        Options options;
        EXPECT_EQ(parseOptions(arguments, options), error);
    }
}

} // namespace
} // namespace kestran::simulator
