// SPDX-License-Identifier: MIT
#include "window/responselist.h"

#include "window/responselistaccessible.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace kestran::window {

namespace {

constexpr int textMargin = 2;
constexpr int scrollBarCatchUpMs = 50;

QString removedNote(std::uint64_t removed)
{
    return QStringLiteral("\u2026[%1 earlier rows removed]").arg(removed);
}

} // namespace

ResponseList::ResponseList(QWidget* parent, int rowLimit)
    : QAbstractScrollArea(parent), m_rowLimit(std::max(rowLimit, 2)),
      m_font(std::make_unique<RowFont>(font()))
{
    installAccessibleFactory();
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_rowHeight = rowHeight();
}

ResponseList::~ResponseList() = default;

int ResponseList::count() const
{
    return m_runs.empty() ? noteRows() : static_cast<int>(m_runs.back().end - m_first) + noteRows();
}

void ResponseList::appendLine(const terminal::ShownLine& line, const RowFacts& facts)
{
    Q_UNUSED(facts);
    if (!line)
        return;
    if (count() >= m_rowLimit)
        dropOldestRuns();
    if (!m_runs.empty() && m_runs.back().line == line) {
        ++m_runs.back().end;
    } else {
        auto layout = std::make_shared<const RowLayout>(line, *m_font);
        m_widest = std::max(m_widest, layout->width() + 2 * textMargin);
        m_runs.push_back(
            {line, std::move(layout), m_runs.empty() ? m_first + 1 : m_runs.back().end + 1});
    }
    const int row = count() - 1;
    if (row < topRow() + rowsInView() + 1) {
        updateScrollBars();
        viewport()->update(visualRect(row));
    } else if (!m_scrollBarCatchUp.isActive()) {
        m_scrollBarCatchUp.start(scrollBarCatchUpMs, this);
    }
    tellRowsChanged(QAccessibleTableModelChangeEvent::RowsInserted, row);
}

// The oldest runs go whole, never part of one, until the new row fits.
void ResponseList::dropOldestRuns()
{
    const int before = count();
    while (!m_runs.empty() && count() + 1 > m_rowLimit) {
        const std::int64_t rows = m_runs.front().end - m_first;
        m_removed += static_cast<std::uint64_t>(rows);
        m_first = m_runs.front().end;
        m_runs.pop_front();
    }
    const int gone = before - count();
    m_current = m_current < 0 ? -1 : std::max(0, m_current - gone);
    verticalScrollBar()->setValue(std::max(0, topRow() - gone));
    updateScrollBars();
    viewport()->update();
    forgetAccessibleRows(this);
    tellRowsChanged(QAccessibleTableModelChangeEvent::ModelReset, -1);
}

void ResponseList::clear()
{
    std::deque<Run>().swap(m_runs);
    m_first = 0;
    m_removed = 0;
    m_current = -1;
    m_widest = 0;
    // Empty ranges bring both scroll bars back to 0, and stop any catch-up.
    updateScrollBars();
    viewport()->update();
    forgetAccessibleRows(this);
    tellRowsChanged(QAccessibleTableModelChangeEvent::ModelReset, -1);
}

const ResponseList::Run& ResponseList::runOf(int row) const
{
    const std::int64_t wanted = m_first + row - noteRows();
    return *std::upper_bound(m_runs.begin(), m_runs.end(), wanted,
                             [](std::int64_t at, const Run& r) { return at < r.end; });
}

QString ResponseList::lineAt(int row) const
{
    if (row < 0 || row >= count())
        return {};
    if (row < noteRows())
        return removedNote(m_removed);
    return QString::fromStdString(notation::displayText(*runOf(row).line, m_font->drawable()));
}

void ResponseList::setCurrentRow(std::int64_t row)
{
    const int wanted =
        count() == 0 ? -1 : static_cast<int>(std::clamp<std::int64_t>(row, 0, count() - 1));
    if (wanted == m_current)
        return;
    viewport()->update(visualRect(m_current));
    m_current = wanted;
    ensureVisible(m_current);
    viewport()->update(visualRect(m_current));
    tellAboutRow(QAccessible::Selection, m_current);
    if (hasFocus())
        tellAboutRow(QAccessible::Focus, m_current);
}

int ResponseList::topRow() const
{
    return verticalScrollBar()->value();
}

int ResponseList::rowHeight() const
{
    return fontMetrics().height() + 2;
}

int ResponseList::rowsInView() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

QRect ResponseList::visualRect(int row) const
{
    const std::int64_t fromTop = static_cast<std::int64_t>(row) - topRow();
    if (row < 0 || fromTop < 0 || fromTop > rowsInView())
        return {};
    return QRect(0, static_cast<int>(fromTop) * m_rowHeight, viewport()->width(), m_rowHeight);
}

int ResponseList::rowAt(int y) const
{
    const std::int64_t row = static_cast<std::int64_t>(topRow()) + y / m_rowHeight;
    return y >= 0 && row < count() ? static_cast<int>(row) : -1;
}

void ResponseList::updateScrollBars()
{
    m_scrollBarCatchUp.stop();
    const int inView = rowsInView();
    verticalScrollBar()->setPageStep(inView);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setRange(0, std::max(0, count() - inView));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth());
    horizontalScrollBar()->setRange(0, std::max(0, m_widest - viewport()->width()));
}

void ResponseList::ensureVisible(int row)
{
    if (row < 0)
        return;
    // Rows already appended may be beyond what the scroll bar knows of yet.
    updateScrollBars();
    const int top = topRow();
    if (row < top)
        verticalScrollBar()->setValue(row);
    else if (row - top >= rowsInView())
        verticalScrollBar()->setValue(row - rowsInView() + 1);
}

void ResponseList::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    // A row runs left to right from "STX" to "CRLF", whatever script it holds.
    painter.setLayoutDirection(Qt::LeftToRight);
    const QRect dirty = event->rect();
    // -1 when the dirty area starts below the last row, and so nothing to draw.
    const int first = rowAt(std::max(0, dirty.top()));
    const int bottom = rowAt(dirty.bottom());
    const int last = bottom < 0 ? count() - 1 : bottom;
    const int shift = horizontalScrollBar()->value();
    const QPalette::ColorGroup group =
        isEnabled() ? (isActiveWindow() ? QPalette::Active : QPalette::Inactive)
                    : QPalette::Disabled;
    for (int row = first; row >= 0 && row <= last; ++row) {
        const QRect rect = visualRect(row);
        const bool selected = row == m_current;
        painter.setBackground(
            palette().brush(group, selected ? QPalette::Highlight : QPalette::Base));
        if (selected)
            painter.fillRect(rect, painter.background());
        painter.setPen(
            palette().color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect text = rect.adjusted(textMargin, 0, 0, 0);
        if (row < noteRows()) {
            const notation::Piece note{removedNote(m_removed).toStdString(), true, 0, 0};
            paintPiece(painter,
                       QRect(text.left() - shift, text.top(), m_font->width(note), text.height()),
                       note);
        } else {
            runOf(row).layout->paint(painter, text, shift, *m_font);
        }
        if (selected && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect;
            focus.backgroundColor = palette().color(group, QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }
}

void ResponseList::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_scrollBarCatchUp.timerId())
        updateScrollBars();
    else
        QAbstractScrollArea::timerEvent(event);
}

void ResponseList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ResponseList::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        m_rowHeight = rowHeight();
        m_font = std::make_unique<RowFont>(font());
        m_widest = 0;
        for (auto& run : m_runs) {
            run.layout = std::make_shared<const RowLayout>(run.line, *m_font);
            m_widest = std::max(m_widest, run.layout->width() + 2 * textMargin);
        }
        updateScrollBars();
    }
    QAbstractScrollArea::changeEvent(event);
}

} // namespace kestran::window
