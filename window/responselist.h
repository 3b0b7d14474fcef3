// SPDX-License-Identifier: MIT
#pragma once

// The response list. A device may stream for days and every CR adds a line,
// so an append costs the same however long the list is: rows have one fixed
// height and only the visible rows are ever drawn. After one send the same
// first response comes again and again, so rows are kept as runs of one shared
// line: a repeat costs a counter, not a row.
//
// Qt's own views cannot keep that promise. Measured with build/bench/list_bench
// (one append per pass of the event loop, as the port delivers lines; the
// 2-core development machine, 2026-12-07):
//  - QListWidget: 2.4 ms a line at 1,000 lines, 8.4 ms at 4,000;
//  - QListView with uniform item sizes over a run-length model: 0.36 ms a line
//    at 10,000 lines, 0.93 ms at 50,000, its last tenth 4.6 times its first;
//  - QTableView with fixed rows over the same model: 0.42 ms a line at
//    10,000 lines, 0.46 ms at 100,000;
// against 2 to 7.5 microseconds a line here at a million lines, flat.

#include "serial/linecounters.h"
#include "terminal/window.h"
#include "window/rowlayout.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QBasicTimer>

#include <cstdint>
#include <deque>
#include <limits>
#include <memory>

namespace kestran::window {

// What is known of a row besides its bytes.
struct RowFacts {
    std::int64_t responseUs = -1; // from the frame leaving the port to the row's CR
    serial::LineCounters lineErrors; // seen while it came
};

class ResponseList : public QAbstractScrollArea {
    Q_OBJECT

public:
    // A scroll bar counts in int, so the list holds at most this many rows;
    // past it the oldest runs go whole and a first row says how many went.
    static constexpr int defaultRowLimit = std::numeric_limits<int>::max() - 1;

    explicit ResponseList(QWidget* parent = nullptr, int rowLimit = defaultRowLimit);
    ~ResponseList() override;

    // Adds a last row. Neither the selection nor the scroll position moves.
    void appendLine(const terminal::ShownLine& line, const RowFacts& facts = {});
    void clear();

    int count() const;
    // A row's text as shown, translated pieces included: what Copy copies and
    // what a screen reader reads.
    QString lineAt(int row) const;
    int currentRow() const { return m_current; }
    void setCurrentRow(std::int64_t row);
    // Index of the first row shown at the top.
    int topRow() const;
    // Where a row stands in the viewport; empty when it is out of view.
    QRect visualRect(int row) const;
    int rowAt(int y) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Run {
        terminal::ShownLine line;
        std::shared_ptr<const RowLayout> layout;
        std::int64_t end; // one past its last row, counted since the list was cleared
    };

    int noteRows() const { return m_removed > 0 ? 1 : 0; }
    const Run& runOf(int row) const;
    void dropOldestRuns();
    void copyCurrent() const;
    int rowHeight() const;
    int rowsInView() const;
    void updateScrollBars();
    void ensureVisible(int row);
    void tellRowsChanged(QAccessibleTableModelChangeEvent::ModelChangeType change, int row);
    void tellAboutRow(QAccessible::Event kind, int row);

    std::deque<Run> m_runs;
    std::int64_t m_first = 0;    // the first kept row, counted since the list was cleared
    std::uint64_t m_removed = 0; // rows dropped at the limit
    int m_rowLimit;
    int m_current = -1;
    int m_rowHeight = 0;
    // The widest row so far, for the horizontal scroll bar; measured once per run.
    int m_widest = 0;
    std::unique_ptr<RowFont> m_font;
    // While lines stream in out of sight, the scroll bars catch up a few times
    // a second rather than on every append.
    QBasicTimer m_scrollBarCatchUp;
};

} // namespace kestran::window
