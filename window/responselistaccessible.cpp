// SPDX-License-Identifier: MIT
#include "window/responselistaccessible.h"

#include "window/responselist.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QtGlobal>

namespace kestran::window {

namespace {

// Orca drops a second announcement within a tenth of a second and queues
// the rest behind one another: a burst is said as one.
constexpr int announceEveryMs = 500;
// How much of a row an announcement reads out.
constexpr int announcedCharacters = 200;

// A child of the list that no widget stands for, with no children of its own.
class ListLeaf : public QAccessibleInterface {
public:
    explicit ListLeaf(ResponseList* list) : m_list(list) {}

    QObject* object() const override { return nullptr; }
    QWindow* window() const override
    {
        const QAccessibleInterface* list = parent(); // gone at the end, while a reader may ask
        return list ? list->window() : nullptr;
    }
    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_list);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}

protected:
    QPointer<ResponseList> m_list;
};

class RowAccessible : public ListLeaf {
public:
    RowAccessible(ResponseList* list, int row) : ListLeaf(list), m_row(row) {}

    bool isValid() const override { return m_list && m_row < m_list->count(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QString text(QAccessible::Text kind) const override
    {
        if (!isValid())
            return {};
        if (kind == QAccessible::Name)
            return m_list->lineAt(m_row);
        return kind == QAccessible::Description ? m_list->byteView(m_row) : QString();
    }
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
    int m_row;
};

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
// Before Qt 6.8 there is no announcement event; what Orca does speak is a
// notification object being shown, so the list has one, after its rows.
class NotificationAccessible : public ListLeaf {
public:
    explicit NotificationAccessible(ResponseList* list) : ListLeaf(list) {}
    QString said;

    bool isValid() const override { return m_list; }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name ? said : QString();
    }
    QRect rect() const override { return {}; }
    QAccessible::State state() const override { return {}; }
};
#endif

class ListAccessible : public QAccessibleWidget {
public:
    explicit ListAccessible(ResponseList* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~ListAccessible() override
    {
        forgetRows();
        if (m_notification)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(m_notification));
    }

    int childCount() const override { return list()->count() + notifications(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index == list()->count() && notifications())
            return notification();
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
        return child && child == m_notification ? list()->count() : -1;
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

    void announce(const QString& text)
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        QAccessibleAnnouncementEvent event(list(), text);
        event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
        QAccessible::updateAccessibility(&event);
#else
        notification()->said = text;
        for (const auto kind : {QAccessible::NameChanged, QAccessible::ObjectShow}) {
            QAccessibleEvent event(notification(), kind);
            QAccessible::updateAccessibility(&event);
        }
#endif
    }

private:
    ResponseList* list() const
    {
        return static_cast<ResponseList*>(widget());
    }
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    static int notifications()
    {
        return 1;
    }
    NotificationAccessible* notification() const
    {
        if (!m_notification) {
            m_notification = new NotificationAccessible(list());
            QAccessible::registerAccessibleInterface(m_notification);
        }
        return m_notification;
    }
    mutable NotificationAccessible* m_notification = nullptr;
#else
    static int notifications()
    {
        return 0;
    }
    QAccessibleInterface* notification() const
    {
        return nullptr;
    }
    static constexpr QAccessibleInterface* m_notification = nullptr;
#endif
    mutable QHash<int, QAccessible::Id> m_rows;
};

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

void forgetAccessibleRows(ResponseList* list)
{
    if (auto* accessible =
            dynamic_cast<ListAccessible*>(QAccessible::queryAccessibleInterface(list)))
        accessible->forgetRows();
}

RowAnnouncer::RowAnnouncer(ResponseList* list) : m_list(list)
{
    m_soon.setSingleShot(true);
    connectEvents();
}

void RowAnnouncer::connectEvents()
{
    connect(&m_soon, &QTimer::timeout, this, &RowAnnouncer::announce);
}

void RowAnnouncer::rowAdded(int row)
{
    if (!QAccessible::isActive())
        return;
    ++m_newRows;
    m_lastRow = row;
    announceSoon();
}

void RowAnnouncer::cleared()
{
    if (!QAccessible::isActive())
        return;
    m_newRows = 0;
    m_cleared = true;
    announceSoon();
}

void RowAnnouncer::announceSoon()
{
    if (m_soon.isActive())
        return;
    const qint64 since = m_sinceLast.isValid() ? m_sinceLast.elapsed() : announceEveryMs;
    m_soon.start(static_cast<int>(std::max<qint64>(0, announceEveryMs - since)));
}

void RowAnnouncer::announce()
{
    QString text = m_cleared ? tr("List cleared.") : QString();
    if (m_newRows > 0) {
        const QString last = m_list->lineAt(m_lastRow).left(announcedCharacters);
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) +
                (m_newRows == 1 ? tr("New response: %1").arg(last)
                                : tr("%1 new responses, last: %2").arg(m_newRows).arg(last));
    }
    m_newRows = 0;
    m_cleared = false;
    m_sinceLast.start();
    if (auto* accessible =
            dynamic_cast<ListAccessible*>(QAccessible::queryAccessibleInterface(m_list)))
        accessible->announce(text);
}

} // namespace kestran::window
