// formatResponse against the literal transcription, on any collected bytes.

#include "check.h"
#include "notation/notation.h"
#include "support/literal.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string collected(reinterpret_cast<const char*>(data), size);
    const auto line = kestran::notation::formatResponse(collected);
    FUZZ_CHECK(line == kestran::literal::formatResponse(collected));
    if (line)
        FUZZ_CHECK(line->find('\r') == std::string::npos);
    return 0;
}
