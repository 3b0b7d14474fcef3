#include "window/responselist.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <limits>

namespace kestran::window {

namespace {

constexpr int textMargin = 2;
constexpr int scrollBarCatchUpMs = 50;

QString toQString(const terminal::ShownLine& line)
{
    return QString::fromUtf8(line->data(), static_cast<qsizetype>(line->size()));
}

} // namespace

ResponseList::ResponseList(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_rowHeight = rowHeight();
}

void ResponseList::appendLine(const terminal::ShownLine& line)
{
    if (!line)
        return;
    const int row = count();
    // A scroll bar counts rows in an int; past that the list is full.
    if (row == std::numeric_limits<int>::max())
        return;
    if (!m_runs.empty() && m_runs.back().line == line) {
        ++m_runs.back().end;
    } else {
        m_widest = std::max(m_widest, widthOf(line));
        m_runs.push_back({line, row + 1});
    }
    if (row < topRow() + rowsInView() + 1) {
        updateScrollBars();
        viewport()->update(rowRect(row));
    } else if (!m_scrollBarCatchUp.isActive()) {
        m_scrollBarCatchUp.start(scrollBarCatchUpMs, this);
    }
}

void ResponseList::clear()
{
    std::vector<Run>().swap(m_runs);
    m_current = -1;
    m_widest = 0;
    // Empty ranges bring both scroll bars back to 0, and stop any catch-up.
    updateScrollBars();
    viewport()->update();
}

QString ResponseList::lineAt(int row) const
{
    if (row < 0 || row >= count())
        return {};
    return toQString(lineOf(row));
}

const terminal::ShownLine& ResponseList::lineOf(int row) const
{
    const auto run = std::upper_bound(m_runs.begin(), m_runs.end(), row,
                                      [](int wanted, const Run& r) { return wanted < r.end; });
    return run->line;
}

bool ResponseList::sharesText(int row, int other) const
{
    if (row < 0 || other < 0 || row >= count() || other >= count())
        return false;
    return lineOf(row) == lineOf(other);
}

void ResponseList::setCurrentRow(int row)
{
    row = count() == 0 ? -1 : std::clamp(row, 0, count() - 1);
    if (row == m_current)
        return;
    viewport()->update(rowRect(m_current));
    m_current = row;
    viewport()->update(rowRect(m_current));
    ensureVisible(m_current);
}

int ResponseList::topRow() const
{
    return verticalScrollBar()->value();
}

int ResponseList::widthOf(const terminal::ShownLine& line) const
{
    return fontMetrics().horizontalAdvance(toQString(line)) + 2 * textMargin;
}

int ResponseList::rowHeight() const
{
    return fontMetrics().height() + 2;
}

int ResponseList::rowsInView() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

QRect ResponseList::rowRect(int row) const
{
    if (row < 0)
        return {};
    return QRect(0, (row - topRow()) * m_rowHeight, viewport()->width(), m_rowHeight);
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
    else if (row >= top + rowsInView())
        verticalScrollBar()->setValue(row - rowsInView() + 1);
}

void ResponseList::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    const int top = topRow();
    const int first = top + std::max(0, dirty.top() / m_rowHeight);
    const int last = std::min(count() - 1, top + dirty.bottom() / m_rowHeight);
    const int shift = horizontalScrollBar()->value();
    const bool active = hasFocus();
    const QPalette::ColorGroup group =
        isEnabled() ? (isActiveWindow() ? QPalette::Active : QPalette::Inactive)
                    : QPalette::Disabled;
    for (int row = first; row <= last; ++row) {
        const QRect rect = rowRect(row);
        const bool selected = row == m_current;
        if (selected)
            painter.fillRect(rect, palette().brush(group, QPalette::Highlight));
        painter.setPen(
            palette().color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(rect.adjusted(textMargin - shift, 0, 0, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         toQString(lineOf(row)));
        if (selected && active) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect;
            focus.backgroundColor = palette().color(group, QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }
}

void ResponseList::mousePressEvent(QMouseEvent* event)
{
    const int row = topRow() + static_cast<int>(event->position().y()) / m_rowHeight;
    if (row < count())
        setCurrentRow(row);
    QAbstractScrollArea::mousePressEvent(event);
}

void ResponseList::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        if (m_current >= 0)
            QApplication::clipboard()->setText(lineAt(m_current));
        return;
    }
    const int page = rowsInView();
    switch (event->key()) {
    case Qt::Key_Up:
        setCurrentRow(m_current < 0 ? 0 : m_current - 1);
        break;
    case Qt::Key_Down:
        setCurrentRow(m_current + 1);
        break;
    case Qt::Key_PageUp:
        setCurrentRow(std::max(0, m_current - page));
        break;
    case Qt::Key_PageDown:
        setCurrentRow(m_current + page);
        break;
    case Qt::Key_Home:
        setCurrentRow(0);
        break;
    case Qt::Key_End:
        setCurrentRow(count() - 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
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
        m_widest = 0;
        for (const auto& run : m_runs)
            m_widest = std::max(m_widest, widthOf(run.line));
        updateScrollBars();
    }
    QAbstractScrollArea::changeEvent(event);
}

void ResponseList::focusInEvent(QFocusEvent* event)
{
    viewport()->update(rowRect(m_current));
    QAbstractScrollArea::focusInEvent(event);
}

void ResponseList::focusOutEvent(QFocusEvent* event)
{
    viewport()->update(rowRect(m_current));
    QAbstractScrollArea::focusOutEvent(event);
}

} // namespace kestran::window
