// SPDX-License-Identifier: MIT
#pragma once

// What a screen reader sees of the response list: a list whose children are
// its rows, each named by its text as shown. A list may hold two billion
// rows, so a row's interface is made only when something asks for it.

class QAccessibleEvent;

namespace kestran::window {

// Makes QAccessible answer for every ResponseList; safe to call often.
void installAccessibleFactory();

class ResponseList;

// Where the list's events for assistive technology go: to Qt, while an
// assistive technology listens. Without a display (the offscreen platform)
// Qt has no bridge and drops every event, so a test can take them instead.
using AccessibleEventSink = void (*)(QAccessibleEvent* event);
void setAccessibleEventSink(AccessibleEventSink sink);
bool accessibleEventsWanted();
void tellAccessible(QAccessibleEvent* event);

// The list's rows moved (cleared, or the oldest dropped): interfaces handed
// out for row numbers would now name other rows.
void forgetAccessibleRows(ResponseList* list);

} // namespace kestran::window
