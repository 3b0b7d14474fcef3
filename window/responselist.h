#pragma once

// The response list. A device may stream for days and every CR adds a line,
// so an append costs the same however long the list is: rows have one fixed
// height, only the visible rows are ever laid out, and a repeated line shares
// its text with the row before instead of copying it.

#include "terminal/window.h"

#include <QAbstractScrollArea>
#include <QTimer>

#include <vector>

namespace kestran::window {

class ResponseList : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ResponseList(QWidget* parent = nullptr);

    // Adds a last row. Neither the selection nor the scroll position moves.
    void appendLine(const terminal::ShownLine& line);
    void clear();

    int count() const { return static_cast<int>(m_lines.size()); }
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

    std::vector<terminal::ShownLine> m_lines;
    int m_current = -1;
    int m_rowHeight = 0;
    // The widest text so far, for the horizontal scroll bar; measured once per
    // distinct line.
    int m_widest = 0;
    terminal::ShownLine m_lastMeasured;
    // While lines stream in out of sight, the scroll bars catch up a few times
    // a second rather than on every append.
    QTimer m_scrollBarCatchUp;
};

} // namespace kestran::window
