// SPDX-License-Identifier: MIT
#pragma once

// How bytes and numbers are spelled wherever they must come back exactly:
// in hexadecimal, and quoted as the session log and a row's byte view spell
// them. In the quotes every byte stands as itself if it is printable ASCII
// other than '"' and '\', and as \", \\ or \xHH otherwise.

#include <string>
#include <string_view>

namespace kestran::notation {

// The value in upper-case hexadecimal, at least `digits` long.
std::string hex(unsigned value, int digits);

// The quoted spelling of bytes, quotes included.
std::string quoted(std::string_view bytes);
void appendQuoted(std::string_view bytes, std::string& into);
// The same without the quotes, for a spelling put together from parts.
void appendSpelled(std::string_view bytes, std::string& into);

} // namespace kestran::notation
