// SPDX-License-Identifier: MIT
#pragma once

// What the terminal needs of the window it lives in, and of whatever keeps
// a record of the session.

#include "notation/display.h"
#include "terminal/serialport.h"

#include <memory>
#include <string>

namespace kestran::terminal {

// A line for the list, as formed from the bytes received. The same first
// response is shown again and again after one send, so lines are shared,
// never copied per append.
using ShownLine = std::shared_ptr<const notation::FormedLine>;

// A row of the list with what is known of it.
struct Row {
    ShownLine line;
    Moment came;                  // when the chunk that completed it was read
    std::int64_t responseUs = -1; // from the frame's last byte leaving to then; -1 unknown
    LineErrors lineErrors;        // that rose while it came
};

struct Notice {
    enum class Kind {
        portCannotOpen, // at load; the program ends after it
        portLost,       // while running; the port is closed now
        portBack,       // after a loss, the port is open again
        noFrame,        // the typed command forms no frame; nothing was sent
        outputFull,     // the device is not taking data; nothing was sent
        lineErrors,     // the first line errors of a burst; text: how many of which
        moreLineErrors, // the burst grew; text: its count so far
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
    virtual void appendLine(const Row& row) = 0;
    virtual void clearList() = 0;
    virtual void tellOperator(const Notice& notice) = 0;
    virtual void endProgram(int exitStatus) = 0;
};

// A record of what went over the line, fed with the same chunks and rows the
// window is given. Each does nothing unless a record is kept.
class Recorder {
public:
    virtual ~Recorder() = default;
    virtual void frame(std::string_view) {}
    virtual void frameLeft(const std::optional<Moment>&) {}
    // A chunk as it was read, with the row it completed, if it completed one.
    virtual void read(const Chunk&, const Row* /*made*/) {}
    virtual void cleared() {}
};

} // namespace kestran::terminal
