#include "notation/notation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kestran::notation {
namespace {

using namespace std::string_literals;

struct FrameCase {
    const char* name;
    std::string typed;
    std::optional<std::string> frame;
};

class FrameCommand : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameCommand, FormsTheFrameBetweenTheMarkers)
{
    EXPECT_EQ(frameCommand(GetParam().typed), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, FrameCommand,
    ::testing::Values(FrameCase{"window_example", "STX01DRS,02,0001CRLF", "\00201DRS,02,0001\r\n"s},
                      FrameCase{"no_start_marker", "01DRS,02,0001CRLF", "\00201DRS,02,0001\r\n"s},
                      FrameCase{"empty_payload", "STXCRLF", "\x02\r\n"s},
                      FrameCase{"text_after_end_dropped", "STX01CRLF99", "\00201\r\n"s},
                      FrameCase{"anything_before_x_dropped", "ABX7CRLF", "\0027\r\n"s},
                      FrameCase{"only_first_x_starts", "STX0X1CRLF", "\0020X1\r\n"s},
                      FrameCase{"first_end_marker_ends", "STX1CRLF2CRLF", "\0021\r\n"s},
                      FrameCase{"spaces_and_commas_pass", " X a, b ,CRLF", "\002 a, b ,\r\n"s},
                      FrameCase{"other_names_untranslated", "STXETXCRCRLF", "\002ETXCR\r\n"s},
                      FrameCase{"crlf_before_x_is_not_the_end", "CRLFX5CRLF", "\0025\r\n"s},
                      FrameCase{"x_inside_end_marker_region", "XCRLF", "\x02\r\n"s},
                      FrameCase{"utf8_passes_unchanged", "STX\xED\x95\234CRLF",
                                "\x02\xED\x95\x9C\r\n"s},
                      FrameCase{"nul_passes_unchanged", "STXa\0bCRLF"s, "\002a\0b\r\n"s},
                      FrameCase{"lower_case_markers", "stx01crlf", std::nullopt},
                      FrameCase{"no_end_marker", "STX01", std::nullopt},
                      FrameCase{"empty", "", std::nullopt}, FrameCase{"lone_x", "X", std::nullopt},
                      FrameCase{"end_marker_only_before_x", "CRLFX", std::nullopt},
                      FrameCase{"end_marker_overlapping_x", "CRLX", std::nullopt},
                      FrameCase{"split_end_marker", "XCRL F", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct ResponseCase {
    const char* name;
    std::string collected;
    std::optional<std::string> line;
};

class FormatResponse : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(FormatResponse, ShowsTheFirstFrame)
{
    EXPECT_EQ(formatResponse(GetParam().collected), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Collected, FormatResponse,
    ::testing::Values(ResponseCase{"whole_frame", "\00201DRS,02,0001\r\n", "STX01DRS,02,0001CRLF"s},
                      ResponseCase{"no_stx_everything_before_cr", "abc\r", "STXabcCRLF"s},
                      ResponseCase{"noise_before_stx_dropped", "zz\002AB\r\n", "STXABCRLF"s},
                      ResponseCase{"empty_payload", "\x02\r", "STXCRLF"s},
                      ResponseCase{"only_first_frame", "\002A\r\n\002B\r\n", "STXACRLF"s},
                      ResponseCase{"lf_not_needed", "\002A\r", "STXACRLF"s},
                      ResponseCase{"second_stx_inside_payload", "\002A\002B\r", "STXA\002BCRLF"s},
                      ResponseCase{"lone_cr", "\r", "STXCRLF"s},
                      ResponseCase{"cr_before_stx_none_after", "x\r\x02y", std::nullopt},
                      ResponseCase{"stx_without_cr", "\002AB", std::nullopt},
                      ResponseCase{"nothing", "", std::nullopt},
                      ResponseCase{"lf_only", "\n\n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct DisplayCase {
    const char* name;
    std::string line;
    std::size_t cut;
    std::string shown;
};

class DisplayText : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayText, KeepsEveryResponseOneReadableLine)
{
    EXPECT_EQ(displayText(GetParam().line, GetParam().cut), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DisplayText,
    ::testing::Values(DisplayCase{"ascii", "STX01DRS,02,0001CRLF", 0, "STX01DRS,02,0001CRLF"},
                      DisplayCase{"hangul", "STX\xED\x95\x9C\xEA\xB8\200CRLF", 0,
                                  "STX\xED\x95\x9C\xEA\xB8\200CRLF"},
                      DisplayCase{"four_byte", "\xF0\x9F\x98\x80", 0, "\xF0\x9F\x98\x80"},
                      DisplayCase{"nul", "a\0b"s, 0, "a\xE2\x90\200b"},
                      DisplayCase{"lf", "a\nb", 0, "a\xE2\x90\212b"},
                      DisplayCase{"second_stx_and_etx", "\x02\x03", 0, "\xE2\x90\x82\xE2\x90\x83"},
                      DisplayCase{"unit_separator", "\x1F", 0, "\xE2\x90\x9F"},
                      DisplayCase{"del", "\x7F", 0, "\xE2\x90\xA1"},
                      DisplayCase{"lone_continuation", "a\x80z", 0, "a\\x80z"},
                      DisplayCase{"latin1_byte", "caf\xE9", 0, "caf\\xE9"},
                      DisplayCase{"each_bad_byte_alone", "\xFF\xFE", 0, "\\xFF\\xFE"},
                      DisplayCase{"truncated_sequence_then_ascii", "\xE2\202A", 0, "\\xE2\\x82A"},
                      DisplayCase{"truncated_at_end", "A\xED\x95", 0, "A\\xED\\x95"},
                      DisplayCase{"overlong_slash", "\xC0\xAF", 0, "\\xC0\\xAF"},
                      DisplayCase{"overlong_three_byte", "\xE0\x80\xAF", 0, "\\xE0\\x80\\xAF"},
                      DisplayCase{"surrogate", "\xED\xA0\x80", 0, "\\xED\\xA0\\x80"},
                      DisplayCase{"above_unicode", "\xF4\x90\x80\x80", 0, "\\xF4\\x90\\x80\\x80"},
                      DisplayCase{"bad_byte_before_valid_sequence", "\xC3\xC3\xA9", 0,
                                  "\\xC3\xC3\xA9"},
                      DisplayCase{"cut_noted_before_crlf", "STXabcCRLF", 70000,
                                  "STXabc\xE2\x80\xA6[70000 more bytes not kept]CRLF"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestran::notation
