// SPDX-License-Identifier: MIT
#pragma once

// The rows of the response list, kept small. After one send the same first
// response comes again and again, so rows are kept as runs of one line: a
// repeat costs a counter, not a row. A distinct row costs its bytes, in
// blocks shared by many rows, and one record of the size below; the pixel
// stops of a long row and the count of bytes not kept of a cut one are kept
// only for the rows that have them.

#include "notation/display.h"
#include "terminal/window.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestran::window {

// Where drawing a row may begin again, every so many pixels.
struct RowStop {
    std::uint32_t x;
    std::uint32_t at;
    std::int8_t marksOnBase;
    notation::WalkPosition::Stage stage;
    std::int8_t strong;
};

class RowStore {
public:
    struct Run {
        std::uint64_t bytesAt;   // where its bytes begin, counted over every byte ever kept
        std::int64_t end;        // one past its last row, counted since the list was cleared
        std::int64_t arrivedMs;  // wall-clock time of its first row
        std::uint32_t length;    // its bytes
        std::int32_t responseUs; // of its first row; -1 unknown
        std::int32_t width;      // in pixels
        std::uint8_t lineErrors; // kinds seen while its first row came (LineErrors::kinds)
        bool fromStx;
    };

    // Adds a run of one row; its stops are kept when there is more than one.
    void add(const terminal::Row& row, std::int32_t width, std::vector<RowStop> stops);
    void repeatLast() { ++m_runs.back().end; }
    // Lays every run out again (in a new font); returns the widest width.
    using Layout = std::function<std::int32_t(notation::LineView, std::vector<RowStop>&)>;
    std::int32_t layOutAgain(const Layout& layOut);
    void clear();
    // Drops the oldest runs, whole, until at most `rows` rows are left;
    // returns how many rows went.
    std::int64_t dropOldest(std::int64_t rows);

    bool empty() const { return m_runs.empty(); }
    std::int64_t rows() const { return m_runs.empty() ? 0 : m_runs.back().end - m_first; }
    // The run of a row, counted from the first kept.
    std::size_t runOf(std::int64_t row) const;
    const Run& run(std::size_t index) const { return m_runs[index]; }
    std::int64_t firstRowOf(std::size_t index) const;
    std::int64_t rowsIn(std::size_t index) const
    {
        return m_runs[index].end - m_first - firstRowOf(index);
    }
    notation::LineView line(std::size_t index) const;
    const std::vector<RowStop>* stops(std::size_t index) const;

private:
    struct Block {
        std::uint64_t at;
        std::string bytes;
    };
    std::uint64_t serial(std::size_t index) const { return m_dropped + index; }

    std::deque<Run> m_runs;
    std::deque<Block> m_blocks;
    std::uint64_t m_kept = 0;    // bytes ever kept
    std::size_t m_shared = 0;    // the size of the last block that rows share
    std::uint64_t m_dropped = 0; // runs dropped at the front
    std::int64_t m_first = 0;    // the first kept row, counted since the list was cleared
    std::unordered_map<std::uint64_t, std::vector<RowStop>> m_stops;
    std::unordered_map<std::uint64_t, std::size_t> m_cuts;
};

} // namespace kestran::window
