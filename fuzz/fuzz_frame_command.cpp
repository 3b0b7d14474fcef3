// frameCommand against the literal transcription, on any typed text.

#include "check.h"
#include "notation/notation.h"
#include "support/literal.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string typed(reinterpret_cast<const char*>(data), size);
    const auto frame = kestran::notation::frameCommand(typed);
    FUZZ_CHECK(frame == kestran::literal::frameCommand(typed));
    if (frame) {
        FUZZ_CHECK(frame->size() >= 3 && frame->size() <= typed.size() + 3);
        FUZZ_CHECK(frame->front() == '\x02');
        FUZZ_CHECK(frame->compare(frame->size() - 2, 2, "\r\n") == 0);
    }
    return 0;
}
