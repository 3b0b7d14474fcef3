// SPDX-License-Identifier: MIT
#pragma once

// Everything before the window: KESTRAN's own command line, read before any
// GUI exists so that --help, --version and --list-ports need no display;
// Qt's options handed on in the form Qt reads them; and a display that
// cannot be reached told in one line, not in Qt's abort.

#include <QString>

#include <list>
#include <string>
#include <vector>

namespace kestran::window {

struct CommandLine {
    QString port;
    QString logFile; // empty: no session log
};

// Ends the program itself for --help, --version and --list-ports (status 0),
// a command line it does not understand (2), and no display at all (1).
CommandLine readCommandLine(int argc, char** argv);

// The arguments for QApplication: Qt's options given as "-option=value" are
// passed as "-option" "value", the one form Qt understands. Qt reads them for
// as long as the application lives, so they must outlive it.
struct QtArguments {
    std::list<std::string> split; // the halves of each "-option=value"
    std::vector<char*> pointers;  // as argv: null-terminated
};
QtArguments argumentsForQt(int argc, char** argv);

// Until displayReached(), a platform that cannot start ends the program with
// one line and status 1 instead of Qt's abort.
void guardDisplay();
void displayReached();

} // namespace kestran::window
