// SPDX-License-Identifier: MIT
#include "window/rowstore.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace kestran::window {

namespace {

// Blocks grow from a few KiB to this, so that a short list stays small and a
// long one costs one allocation per many rows.
constexpr std::size_t firstBlock = 4096;
constexpr std::size_t largestBlock = 1 << 20;
constexpr std::size_t ownBlock = 16 * 1024;

} // namespace

void RowStore::add(const terminal::Row& row, std::int32_t width, std::vector<RowStop> stops)
{
    const notation::LineView line = *row.line;
    const std::size_t length = line.payload.size();
    if (m_blocks.empty() ||
        m_blocks.back().bytes.capacity() - m_blocks.back().bytes.size() < length) {
        // A long line has a block of its own, just its size; short ones share
        // blocks that double up to largestBlock.
        const bool own = length >= ownBlock;
        m_shared = own ? m_shared : std::min(largestBlock, std::max(firstBlock, 2 * m_shared));
        m_blocks.push_back({m_kept, {}});
        m_blocks.back().bytes.reserve(own ? length : m_shared);
    }
    m_blocks.back().bytes.append(line.payload);
    const auto arrived =
        std::chrono::duration_cast<std::chrono::milliseconds>(row.came.wall.time_since_epoch());
    const std::int64_t firstRow = m_runs.empty() ? m_first : m_runs.back().end;
    m_runs.push_back({m_kept, firstRow + 1, arrived.count(), static_cast<std::uint32_t>(length),
                      static_cast<std::int32_t>(std::clamp<std::int64_t>(
                          row.responseUs, -1, std::numeric_limits<std::int32_t>::max())),
                      width, row.lineErrors.kinds(), row.line->fromStx});
    m_kept += length;
    if (stops.size() > 1)
        m_stops.emplace(serial(m_runs.size() - 1), std::move(stops));
    if (line.cutBytes > 0)
        m_cuts.emplace(serial(m_runs.size() - 1), line.cutBytes);
}

std::int32_t RowStore::layOutAgain(const Layout& layOut)
{
    std::int32_t widest = 0;
    for (std::size_t index = 0; index < m_runs.size(); ++index) {
        std::vector<RowStop> stops;
        m_runs[index].width = layOut(line(index), stops);
        widest = std::max(widest, m_runs[index].width);
        m_stops.erase(serial(index));
        if (stops.size() > 1)
            m_stops.emplace(serial(index), std::move(stops));
    }
    return widest;
}

void RowStore::clear()
{
    std::deque<Run>().swap(m_runs);
    std::deque<Block>().swap(m_blocks);
    m_shared = 0;
    m_stops.clear();
    m_cuts.clear();
    m_first = 0;
}

std::int64_t RowStore::dropOldest(std::int64_t rows)
{
    const std::int64_t before = this->rows();
    while (!m_runs.empty() && this->rows() > rows) {
        m_stops.erase(serial(0));
        m_cuts.erase(serial(0));
        m_first = m_runs.front().end;
        m_runs.pop_front();
        ++m_dropped;
    }
    const std::uint64_t stillUsed = m_runs.empty() ? m_kept : m_runs.front().bytesAt;
    while (m_blocks.size() > 1 && m_blocks[1].at <= stillUsed)
        m_blocks.pop_front();
    return before - this->rows();
}

std::size_t RowStore::runOf(std::int64_t row) const
{
    const std::int64_t wanted = m_first + row;
    return static_cast<std::size_t>(
        std::upper_bound(m_runs.begin(), m_runs.end(), wanted,
                         [](std::int64_t at, const Run& r) { return at < r.end; }) -
        m_runs.begin());
}

std::int64_t RowStore::firstRowOf(std::size_t index) const
{
    return (index == 0 ? m_first : m_runs[index - 1].end) - m_first;
}

notation::LineView RowStore::line(std::size_t index) const
{
    const Run& r = m_runs[index];
    const Block& block =
        *std::prev(std::upper_bound(m_blocks.begin(), m_blocks.end(), r.bytesAt,
                                    [](std::uint64_t at, const Block& b) { return at < b.at; }));
    const auto cut = m_cuts.find(serial(index));
    return {std::string_view(block.bytes).substr(r.bytesAt - block.at, r.length),
            cut == m_cuts.end() ? 0 : cut->second};
}

const std::vector<RowStop>* RowStore::stops(std::size_t index) const
{
    const auto found = m_stops.find(serial(index));
    return found == m_stops.end() ? nullptr : &found->second;
}

} // namespace kestran::window
