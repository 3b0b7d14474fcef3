// SPDX-License-Identifier: MIT
#pragma once

// Whether any installed font can draw a code point. Qt draws a code point that
// no font has as an empty box, the same box for every such code point, so the
// list shows those as "U+XXXX" instead.

#include "notation/display.h"

namespace kestran::window {

// Asks fontconfig once for the union of every installed font's characters.
notation::Drawable installedFontsDraw();

} // namespace kestran::window
