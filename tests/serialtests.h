// SPDX-License-Identifier: MIT
#pragma once

// What the serial layer's tests share.

#include "serial/serialline.h"

namespace kestran::serial {

// For ports that are known by their name alone.
inline const SerialLine::IdentityLookup noIdentity = [](const std::string&) {
    return DeviceIdentity{};
};

inline QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace kestran::serial
