// SPDX-License-Identifier: MIT
#pragma once

// What a screen reader sees of the response list: a list whose children are
// its rows, each named by its text as shown and described by its byte view.
// A list may hold two billion rows, so a row's interface is made only when
// something asks for it. New rows and Clear are announced politely, without
// moving the focus, at most about twice a second.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kestran::window {

class ResponseList;

// Makes QAccessible answer for every ResponseList; safe to call often.
void installAccessibleFactory();

// The list's rows moved (cleared, or the oldest dropped): interfaces handed
// out for row numbers would now name other rows.
void forgetAccessibleRows(ResponseList* list);

class RowAnnouncer : public QObject {
public:
    explicit RowAnnouncer(ResponseList* list);
    void rowAdded(int row);
    void cleared();

private:
    void connectEvents();
    void announceSoon();
    void announce();

    ResponseList* m_list;
    int m_newRows = 0;
    int m_lastRow = -1;
    bool m_cleared = false;
    QTimer m_soon;
    QElapsedTimer m_sinceLast;
};

} // namespace kestran::window
