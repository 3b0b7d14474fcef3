// SPDX-License-Identifier: MIT
#pragma once

// The text notation in which the operator types commands and reads responses:
// the frame's control characters are spelled out as the letters "STX" and "CRLF".
// Everything here is a pure function over bytes. This is the one place where
// the notation's words are spelled.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestran::notation {

inline constexpr char STX = '\x02';
inline constexpr char CR = '\x0D';
inline constexpr char LF = '\x0A';

// The names of the C0 control characters, by code, and DEL's. The notation's
// words are these names: STX's, and CR's and LF's together.
inline constexpr std::string_view controlNames[] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};
inline constexpr std::string_view delName = "DEL";

// The words a shown line begins and ends with, and the end marker of a typed
// command; the start marker is the last letter of "STX".
inline constexpr std::string_view stxWord = controlNames[2];
inline constexpr std::string_view crlfWord = "CRLF";
inline constexpr std::string_view startMarker = stxWord.substr(stxWord.size() - 1);

// Typed text (UTF-8) to the bytes written to the port: STX, payload, CR, LF.
// The payload is what stands strictly between the first "X" and the first
// "CRLF" after it; without any "X" it starts at the beginning of the text.
// No frame when no "CRLF" follows the start marker.
std::optional<std::string> frameCommand(std::string_view typed);

// The line the list shows for a payload, as plain text: the letters "STX",
// the payload and the letters "CRLF". Which bytes collected from the port
// make the payload (those strictly between the first STX and the first CR
// after it, or without any STX everything before the first CR) is
// terminal::Received's to find, as the bytes arrive.
std::string responseLine(std::string_view payload);

} // namespace kestran::notation
