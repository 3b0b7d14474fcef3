// SPDX-License-Identifier: MIT
#pragma once

// The program's run-time state and its five reactions. The window calls one
// reaction per event, on its own thread, each to its end before the next.
// Every fact a row carries comes from here: its line from what was
// received, when it came and the line errors with it from the chunks the
// port read, and its response time from when the frame left.

#include "terminal/received.h"
#include "terminal/serialport.h"
#include "terminal/window.h"

#include <cstdint>
#include <optional>

namespace kestran::terminal {

class Terminal {
public:
    // At most this much may wait to go out, about a minute at 9600 bit/s; a
    // device that stops reading must not make the program grow.
    static constexpr std::size_t outputLimit = 64 * 1024;
    // Line errors this close together are one burst, told once.
    static constexpr std::chrono::seconds lineErrorBurst{5};

    Terminal(SerialPort& port, Window& window, std::size_t keepLimit = Received::defaultKeepLimit);

    // Where frames, reads and rows are recorded from now on.
    void recordTo(Recorder& recorder) { m_record = &recorder; }

    void onLoad();
    void onSend();
    void onComm();
    void onClear();
    void onExit();

private:
    void reportLostLine();
    void takeIn(const Chunk& chunk);
    std::optional<Row> rowMadeBy(const Chunk& chunk);
    void tellLineErrors(const Chunk& chunk);
    const ShownLine& currentLine();

    SerialPort& m_port;
    Window& m_window;
    Recorder m_noRecord;
    Recorder* m_record = &m_noRecord;
    Received m_strReceived;
    // What the list was last given, reused while the formed line stays the same.
    ShownLine m_shown;
    std::uint64_t m_shownVersion = 0;
    // When the latest frame left, once the port has seen it go.
    std::optional<Moment> m_frameLeft;
    // Line errors since the last row, for the row being collected; and the
    // burst the operator was last told of, with when its latest errors came.
    LineErrors m_rowErrors, m_burst;
    std::optional<std::chrono::steady_clock::time_point> m_lastLineError;
};

} // namespace kestran::terminal
