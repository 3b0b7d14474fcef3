// SPDX-License-Identifier: MIT
#pragma once

// SIGTERM, SIGINT and SIGHUP end the event loop like closing the window does,
// so that the port, its flock and its lock file are released on the way out.
// The exit status is 128 plus the signal's number, as shells report it.

namespace kestran::window {

// Call once the application exists and before the port is opened.
void quitOnSignals();
// The signal that ended the program; 0 when none did.
int endingSignal();

} // namespace kestran::window
