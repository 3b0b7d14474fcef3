// SPDX-License-Identifier: MIT
#pragma once

// The kernel's count of line errors on an open port (TIOCGICOUNT), read as
// what rose since the last look.

#include "terminal/lineerrors.h"

namespace kestran::serial {

class LineCounters {
public:
    // Notes where the counters of a port just opened stand.
    void start(int descriptor);
    // What rose since the last look; nothing when the driver keeps none.
    terminal::LineErrors rise(int descriptor);

private:
    bool m_kept = false; // the driver keeps them
    terminal::LineErrors m_base;
};

} // namespace kestran::serial
