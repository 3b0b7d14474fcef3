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

} // namespace
} // namespace kestran::simulator
