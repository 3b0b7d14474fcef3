// SPDX-License-Identifier: MIT
#include "window/responselistaccessible.h"

#include "window/responselist.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace kestran::window {

namespace {

class RowAccessible : public QAccessibleInterface {
public:
    RowAccessible(ResponseList* list, int row) : m_list(list), m_row(row) {}

    bool isValid() const override { return m_list && m_row < m_list->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return parent()->window(); }
    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_list);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name && isValid() ? m_list->lineAt(m_row) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect row = m_list->visualRect(m_row);
        return row.isEmpty() ? QRect()
                             : QRect(m_list->viewport()->mapToGlobal(row.topLeft()), row.size());
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.selectable = true;
        state.focusable = true;
        state.invisible = !isValid() || m_list->visualRect(m_row).isEmpty();
        state.offscreen = state.invisible;
        const bool current = isValid() && m_list->currentRow() == m_row;
        state.selected = current;
        state.focused = current && m_list->hasFocus();
        return state;
    }

private:
    QPointer<ResponseList> m_list;
    int m_row;
};

class ListAccessible : public QAccessibleWidget {
public:
    explicit ListAccessible(ResponseList* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~ListAccessible() override { forgetRows(); }

    int childCount() const override { return list()->count(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= list()->count())
            return nullptr;
        if (const auto known = m_rows.constFind(index); known != m_rows.cend())
            return QAccessible::accessibleInterface(*known);
        auto* row = new RowAccessible(list(), index);
        m_rows.insert(index, QAccessible::registerAccessibleInterface(row));
        return row;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint at = list()->viewport()->mapFromGlobal(QPoint(x, y));
        return list()->viewport()->rect().contains(at) ? child(list()->rowAt(at.y())) : nullptr;
    }
    QAccessibleInterface* focusChild() const override { return child(list()->currentRow()); }

    // Rows that were asked for stand for row numbers; when the rows move,
    // those numbers mean other rows, so they are made anew when asked again.
    void forgetRows()
    {
        for (const auto id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
        m_rows.clear();
    }

private:
    ResponseList* list() const { return static_cast<ResponseList*>(widget()); }
    mutable QHash<int, QAccessible::Id> m_rows;
};

AccessibleEventSink eventSink = nullptr;

QAccessibleInterface* responseListFactory(const QString&, QObject* object)
{
    if (auto* list = qobject_cast<ResponseList*>(object))
        return new ListAccessible(list);
    return nullptr;
}

} // namespace

void installAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(responseListFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void setAccessibleEventSink(AccessibleEventSink sink)
{
    eventSink = sink;
}

bool accessibleEventsWanted()
{
    return eventSink || QAccessible::isActive();
}

void tellAccessible(QAccessibleEvent* event)
{
    if (eventSink)
        eventSink(event);
    else if (QAccessible::isActive())
        QAccessible::updateAccessibility(event);
}

void forgetAccessibleRows(ResponseList* list)
{
    if (auto* accessible =
            dynamic_cast<ListAccessible*>(QAccessible::queryAccessibleInterface(list)))
        accessible->forgetRows();
}

} // namespace kestran::window
