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
} // namespace

ResponseList::ResponseList(QWidget* parent, int rowLimit)
    : QAbstractScrollArea(parent), m_rowLimit(std::max(rowLimit, 2)),
      m_font(std::make_unique<RowFont>(font())), m_announcer(std::make_unique<RowAnnouncer>(this))
{
    installAccessibleFactory();
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_rowHeight = rowHeight();
    connectEvents();
}

void ResponseList::connectEvents()
{
    // Scrolled to the bottom, the view follows new rows; scrolled up, it stays.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { m_following = value >= verticalScrollBar()->maximum(); });
}

ResponseList::~ResponseList() = default;

QString ResponseList::removedNote() const
{
    return QStringLiteral("\u2026[%1 earlier rows removed]").arg(m_removed);
}

int ResponseList::count() const
{
    return static_cast<int>(m_rows.rows()) + noteRows();
}

void ResponseList::appendLine(const terminal::Row& row)
{
    if (!row.line)
        return;
    if (count() >= m_rowLimit)
        dropOldestRuns();
    // The rows of a run share its first row's facts, and its layout: a
    // device answering each command alike, the common case, costs one
    // comparison a row rather than a layout. A row with line errors has
    // facts of its own to keep, and starts a run of its own.
    const bool repeat = m_last && (row.line == m_last || *row.line == *m_last);
    if (repeat && !m_rows.empty() && !row.lineErrors.any()) {
        m_rows.repeatLast();
    } else {
        std::vector<RowStop> stops;
        const int width = layOutRow(*row.line, *m_font, stops);
        m_widest = std::max(m_widest, width + 2 * textMargin);
        m_rows.add(row, width, std::move(stops));
        m_last = row.line;
    }
    // A row that lands in view is drawn at once. Following, the view moves
    // at once after a pause, and a few times a second in a stream; scrolled
    // up, only the scroll bar catches up.
    const int added = count() - 1;
    const int below = topRow() + rowsInView(); // the first row not wholly in view
    if (added < below || (!m_following && added == below)) {
        updateScrollBars();
        viewport()->update(visualRect(added));
    } else if (m_following &&
               (!m_sinceFollowed.isValid() || m_sinceFollowed.elapsed() >= scrollBarCatchUpMs)) {
        followNewest();
    } else if (!m_scrollBarCatchUp.isActive()) {
        m_scrollBarCatchUp.start(scrollBarCatchUpMs, this);
    }
    tellRowsChanged(QAccessibleTableModelChangeEvent::RowsInserted, added);
    m_announcer->rowAdded(added);
}

// The oldest runs go whole, never part of one, until the new row fits.
void ResponseList::dropOldestRuns()
{
    const bool firstDrop = m_removed == 0;
    const std::int64_t dropped = m_rows.dropOldest(m_rowLimit - 2);
    m_removed += static_cast<std::uint64_t>(dropped);
    // The note row stands in the place of one that went.
    const int gone = static_cast<int>(dropped) - (firstDrop ? 1 : 0);
    m_current = m_current < 0 ? -1 : std::max(0, m_current - gone);
    if (!m_following) // following, the view stays at the bottom
        verticalScrollBar()->setValue(std::max(0, topRow() - gone));
    updateScrollBars();
    viewport()->update();
    forgetAccessibleRows(this);
    tellRowsChanged(QAccessibleTableModelChangeEvent::ModelReset, -1);
}

void ResponseList::clear()
{
    m_rows.clear();
    m_last.reset();
    m_removed = 0;
    m_current = -1;
    m_widest = 0;
    m_following = true; // at 0 already, the scroll bar would not say so
    // Empty ranges bring both scroll bars back to 0, and stop any catch-up.
    updateScrollBars();
    viewport()->update();
    forgetAccessibleRows(this);
    tellRowsChanged(QAccessibleTableModelChangeEvent::ModelReset, -1);
    m_announcer->cleared();
}

QString ResponseList::lineAt(int row) const
{
    if (row < 0 || row >= count())
        return {};
    if (row < noteRows())
        return removedNote();
    const auto text =
        notation::displayText(m_rows.line(m_rows.runOf(row - noteRows())), m_font->drawable());
    return QString::fromStdString(text);
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
    const bool following = m_following;
    verticalScrollBar()->setPageStep(inView);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setRange(0, std::max(0, count() - inView));
    if (following)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth());
    horizontalScrollBar()->setRange(0, std::max(0, m_widest - viewport()->width()));
}

void ResponseList::followNewest()
{
    m_sinceFollowed.start();
    updateScrollBars();
    viewport()->update();
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
    m_font->repaintStarts();
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
            const notation::Piece note{removedNote().toStdString(), true, 0, 0};
            paintPiece(painter,
                       QRect(text.left() - shift, text.top(), m_font->width(note), text.height()),
                       note);
        } else {
            const std::size_t run = m_rows.runOf(row - noteRows());
            paintRow(painter, m_rows.line(run), m_rows.stops(run), text, shift, *m_font);
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
    if (event->timerId() != m_scrollBarCatchUp.timerId())
        return QAbstractScrollArea::timerEvent(event);
    if (m_following)
        followNewest();
    else
        updateScrollBars();
}

void ResponseList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ResponseList::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        // Laid out again in the new font: kept as they were, the old widths
        // and stops would draw rows out of place.
        m_rowHeight = rowHeight();
        m_font = std::make_unique<RowFont>(font());
        m_widest = 2 * textMargin +
                   m_rows.layOutAgain([this](notation::LineView line, std::vector<RowStop>& stops) {
                       return layOutRow(line, *m_font, stops);
                   });
        updateScrollBars();
    }
    QAbstractScrollArea::changeEvent(event);
}

} // namespace kestran::window
