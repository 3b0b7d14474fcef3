// SPDX-License-Identifier: MIT
// How the response list answers the operator and assistive technology:
// keys, the mouse, the context menu and focus, and the events that tell a
// screen reader what changed.

#include "window/responselist.h"

#include "window/responselistaccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace kestran::window {

void ResponseList::mousePressEvent(QMouseEvent* event)
{
    const int row = rowAt(static_cast<int>(event->position().y()));
    if (row >= 0)
        setCurrentRow(row);
    QAbstractScrollArea::mousePressEvent(event);
}

void ResponseList::copyCurrent() const
{
    if (m_current >= 0)
        QApplication::clipboard()->setText(lineAt(m_current));
}

void ResponseList::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copyCurrent();
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
    QAction* copy = menu.addAction(tr("&Copy"), this, &ResponseList::copyCurrent);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(m_current >= 0);
    menu.exec(event->globalPos());
}

void ResponseList::focusInEvent(QFocusEvent* event)
{
    viewport()->update(visualRect(m_current));
    QAbstractScrollArea::focusInEvent(event);
    tellAboutRow(QAccessible::Focus, m_current);
}

void ResponseList::focusOutEvent(QFocusEvent* event)
{
    viewport()->update(visualRect(m_current));
    QAbstractScrollArea::focusOutEvent(event);
}

void ResponseList::tellRowsChanged(QAccessibleTableModelChangeEvent::ModelChangeType change,
                                   int row)
{
    if (!accessibleEventsWanted())
        return;
    QAccessibleTableModelChangeEvent event(this, change);
    event.setFirstRow(row);
    event.setLastRow(row);
    tellAccessible(&event);
}

void ResponseList::tellAboutRow(QAccessible::Event kind, int row)
{
    if (!accessibleEventsWanted() || row < 0)
        return;
    QAccessibleEvent event(this, kind);
    event.setChild(row);
    tellAccessible(&event);
}

} // namespace kestran::window
