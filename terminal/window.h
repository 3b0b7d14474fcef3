// SPDX-License-Identifier: MIT
#pragma once

// What the terminal needs of the window it lives in.

#include "notation/display.h"

#include <memory>
#include <string>

namespace kestran::terminal {

// A line for the list, as formed from the bytes received. The same first
// response is shown again and again after one send, so lines are shared,
// never copied per append.
using ShownLine = std::shared_ptr<const notation::FormedLine>;

struct Notice {
    enum class Kind {
        portCannotOpen, // at load; the program ends after it
        portLost,       // while running; the port is closed now
        portBack,       // after a loss, the port is open again
        noFrame,        // the typed command forms no frame; nothing was sent
        outputFull,     // the device is not taking data; nothing was sent
    };
    Kind kind;
    std::string text;
};

class Window {
public:
    virtual ~Window() = default;

    // The entry field's text, as UTF-8.
    virtual std::string commandText() const = 0;
    // A new last item of the response list; selection and scrolling stay.
    virtual void appendLine(const ShownLine& line) = 0;
    virtual void clearList() = 0;
    virtual void tellOperator(const Notice& notice) = 0;
    virtual void endProgram(int exitStatus) = 0;
};

} // namespace kestran::terminal
