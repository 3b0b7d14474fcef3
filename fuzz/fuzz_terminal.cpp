// SPDX-License-Identifier: MIT
// A Terminal driven by a fuzzed script of events must show the same lines,
// write the same frames and end the same way as the literal transcription.
// An input whose first byte is below 32 runs with a keep limit of that many
// bytes plus one, so that cut lines are reached as often as whole ones.

#include "check.h"
#include "support/literal.h"
#include "terminal/received.h"

#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view script(reinterpret_cast<const char*>(data), size);
    std::size_t keepLimit = kestran::terminal::Received::defaultKeepLimit;
    if (!script.empty() && static_cast<unsigned char>(script[0]) < 32) {
        keepLimit = static_cast<unsigned char>(script[0]) + 1u;
        script.remove_prefix(1);
    }
    const std::string difference = kestran::literal::differenceOnScript(script, keepLimit);
    if (!difference.empty())
        std::fprintf(stderr, "%s\n", difference.c_str());
    FUZZ_CHECK(difference.empty());
    return 0;
}
