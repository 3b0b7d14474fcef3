// SPDX-License-Identifier: MIT
#pragma once

// The response list. A device may stream for days and every CR adds a line,
// so an append costs the same however long the list is: rows have one fixed
// height, only the visible rows are ever drawn, and rows are kept small
// (rowstore.h). Qt's item views cost hundreds of times more per line and
// grow with the list; bench/README.md has the figures.
//
// Each row also has a byte view: its exact bytes, unambiguous where the
// drawing cannot be (right-to-left text with digits, canonical equivalents,
// look-alikes), and what is known of it (when it came, its response time,
// line errors). The view is the row's tooltip, its accessible description,
// and what Copy Bytes copies; Ctrl+B shows it for the current row.

#include "terminal/window.h"
#include "window/rowlayout.h"
#include "window/rowstore.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QBasicTimer>
#include <QElapsedTimer>

#include <cstdint>
#include <limits>
#include <memory>

namespace kestran::window {

class RowAnnouncer;

class ResponseList : public QAbstractScrollArea {
    Q_OBJECT

public:
    // A scroll bar counts in int, so the list holds at most this many rows;
    // past it the oldest runs go whole and a first row says how many went.
    static constexpr int defaultRowLimit = std::numeric_limits<int>::max() - 1;

    explicit ResponseList(QWidget* parent = nullptr, int rowLimit = defaultRowLimit);
    ~ResponseList() override;

    // Adds a last row. The selection stays; the view follows the newest row
    // while it is at the bottom, and stays put while the operator reads above.
    void appendLine(const terminal::Row& row);
    void clear();

    int count() const;
    // A row's text as shown, translated pieces included: what Copy copies and
    // what a screen reader reads.
    QString lineAt(int row) const;
    // The row's byte view: its bytes spelled, and what is known of it.
    QString byteView(int row) const;
    // The bytes that formed the row, STX (if one began it) to CR, as the log
    // spells them; `whole` spells every byte of a long row rather than its
    // first ones and a digest of the rest.
    QString spelling(int row, bool whole) const;
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
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void connectEvents();
    int noteRows() const { return m_removed > 0 ? 1 : 0; }
    QString removedNote() const;
    void dropOldestRuns();
    void copy(bool bytes) const;
    void showByteView(int row, const QPoint& at);
    int rowHeight() const;
    int rowsInView() const;
    void updateScrollBars();
    void followNewest();
    void ensureVisible(int row);
    void tellRowsChanged(QAccessibleTableModelChangeEvent::ModelChangeType change, int row);
    void tellAboutRow(QAccessible::Event kind, int row);

    RowStore m_rows;
    terminal::ShownLine m_last;  // the line of the last run, to know a repeat
    std::uint64_t m_removed = 0; // rows dropped at the limit
    int m_rowLimit;
    int m_current = -1;
    int m_rowHeight = 0;
    // The widest row so far, for the horizontal scroll bar.
    int m_widest = 0;
    std::unique_ptr<RowFont> m_font;
    // While lines stream in, the scroll bars and the view catch up a few
    // times a second rather than on every append.
    QBasicTimer m_scrollBarCatchUp;
    bool m_following = true;
    QElapsedTimer m_sinceFollowed;
    std::unique_ptr<RowAnnouncer> m_announcer;
};

} // namespace kestran::window
