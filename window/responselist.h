#pragma once

// The response list. A device may stream for days and every CR adds a line,
// so an append costs the same however long the list is: rows have one fixed
// height and only the visible rows are ever laid out. After one send the same
// first response comes again and again, so rows are kept as runs of one shared
// line: a repeat costs a counter, not a row.

#include "terminal/window.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <vector>

namespace kestran::window {

class ResponseList : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ResponseList(QWidget* parent = nullptr);

    // Adds a last row. Neither the selection nor the scroll position moves.
    void appendLine(const terminal::ShownLine& line);
    void clear();

    int count() const { return m_runs.empty() ? 0 : m_runs.back().end; }
    QString lineAt(int row) const;
    // The rows share their text where they can; this tells whether two do.
    bool sharesText(int row, int other) const;
    int currentRow() const { return m_current; }
    void setCurrentRow(int row);
    // Index of the first row shown at the top.
    int topRow() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int widthOf(const terminal::ShownLine& line) const;
    int rowHeight() const;
    int rowsInView() const;
    QRect rowRect(int row) const;
    void updateScrollBars();
    void ensureVisible(int row);

    const terminal::ShownLine& lineOf(int row) const;

    struct Run {
        terminal::ShownLine line;
        int end; // one past its last row
    };
    std::vector<Run> m_runs;
    int m_current = -1;
    int m_rowHeight = 0;
    // The widest text so far, for the horizontal scroll bar; measured once per run.
    int m_widest = 0;
    // While lines stream in out of sight, the scroll bars catch up a few times
    // a second rather than on every append.
    QBasicTimer m_scrollBarCatchUp;
};

} // namespace kestran::window
