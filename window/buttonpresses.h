// SPDX-License-Identifier: MIT
#pragma once

// How the window's buttons take a press. Qt's access keys hold a button down
// for 100 ms before it acts, and Alt+S is the keyboard operator's only way
// to send: here the button acts at once, and shows as pressed for as long
// as Qt would have shown it. And Qt's buttons repaint at once, at the
// press and at the release, each repaint a round trip to the display: here
// a button shows as down only once the press has lasted a frame (16 ms), so
// a click quicker than that, which no eye could see down, draws nothing
// (bench/README.md, the exchange driven by clicks).

#include <QAbstractButton>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <initializer_list>

namespace kestran::window {

class ButtonPresses : public QObject {
public:
    ButtonPresses(std::initializer_list<QAbstractButton*> buttons, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool accessKey(QAbstractButton* button);
    bool mouse(QAbstractButton* button, QEvent* event);

    void connectEvents();

    QPointer<QAbstractButton> m_pressed; // the button a left press began on
    bool m_on = false;                   // the pointer is on it
    QTimer m_showDown;
};

} // namespace kestran::window
