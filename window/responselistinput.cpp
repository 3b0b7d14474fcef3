// SPDX-License-Identifier: MIT
// How the response list answers the operator and assistive technology:
// keys, the mouse, the context menu, the byte view and focus, and the events
// that tell a screen reader what changed.

#include "window/responselist.h"

#include "window/responselistaccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QToolTip>

namespace kestran::window {

namespace {

const QKeySequence copyBytesKey(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
const QKeySequence byteViewKey(Qt::CTRL | Qt::Key_B);

} // namespace

void ResponseList::mousePressEvent(QMouseEvent* event)
{
    const int row = rowAt(static_cast<int>(event->position().y()));
    if (row >= 0)
        setCurrentRow(row);
    QAbstractScrollArea::mousePressEvent(event);
}

void ResponseList::copy(bool bytes) const
{
    if (m_current >= 0)
        QApplication::clipboard()->setText(bytes ? spelling(m_current, true) : lineAt(m_current));
}

void ResponseList::showByteView(int row, const QPoint& at)
{
    if (row >= 0)
        QToolTip::showText(at, byteView(row), this, visualRect(row));
    else
        QToolTip::hideText();
}

bool ResponseList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        showByteView(rowAt(help->pos().y()), help->globalPos());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void ResponseList::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy) ||
        QKeySequence(event->keyCombination()) == copyBytesKey) {
        copy(!event->matches(QKeySequence::Copy));
        return;
    }
    if (QKeySequence(event->keyCombination()) == byteViewKey) {
        const QRect row = visualRect(m_current);
        showByteView(m_current, viewport()->mapToGlobal(row.bottomLeft()));
        return;
    }
    const std::int64_t current = m_current;
    const int page = rowsInView();
    switch (event->key()) {
    case Qt::Key_Up:
        setCurrentRow(current < 0 ? 0 : current - 1);
        break;
    case Qt::Key_Down:
        setCurrentRow(current + 1);
        break;
    case Qt::Key_PageUp:
        setCurrentRow(current - page);
        break;
    case Qt::Key_PageDown:
        setCurrentRow(current + page);
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

void ResponseList::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Mouse) {
        const int row = rowAt(event->pos().y()); // the viewport's own coordinates
        if (row >= 0)
            setCurrentRow(row);
    }
    QMenu menu(this);
    QAction* copyText = menu.addAction(tr("&Copy"), this, [this] { copy(false); });
    copyText->setShortcut(QKeySequence::Copy);
    QAction* copyBytes = menu.addAction(tr("Copy &Bytes"), this, [this] { copy(true); });
    copyBytes->setShortcut(copyBytesKey);
    for (QAction* action : {copyText, copyBytes})
        action->setEnabled(m_current >= 0);
    menu.exec(event->globalPos());
}

void ResponseList::focusInEvent(QFocusEvent* event)
{
    viewport()->update(visualRect(m_current));
    QAbstractScrollArea::focusInEvent(event);
    // Qt tells of the list's own focus after this returns; the row's focus
    // comes after that, or the list would take it back from the row.
    QTimer::singleShot(0, this, [this] {
        if (hasFocus())
            tellAboutRow(QAccessible::Focus, m_current);
    });
}

void ResponseList::focusOutEvent(QFocusEvent* event)
{
    viewport()->update(visualRect(m_current));
    QAbstractScrollArea::focusOutEvent(event);
}

void ResponseList::tellRowsChanged(QAccessibleTableModelChangeEvent::ModelChangeType change,
                                   int row)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent event(this, change);
    event.setFirstRow(row);
    event.setLastRow(row);
    QAccessible::updateAccessibility(&event);
}

void ResponseList::tellAboutRow(QAccessible::Event kind, int row)
{
    if (!QAccessible::isActive() || row < 0)
        return;
    QAccessibleEvent event(this, kind);
    event.setChild(row);
    QAccessible::updateAccessibility(&event);
}

} // namespace kestran::window
