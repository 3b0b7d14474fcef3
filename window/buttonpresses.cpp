// SPDX-License-Identifier: MIT
#include "window/buttonpresses.h"

#include <QMouseEvent>
#include <QShortcutEvent>
#include <QTimer>

namespace kestran::window {

namespace {

// How long a button shows as pressed after its access key.
constexpr int accessKeyPressMs = 100;
// A frame of the display: a press shorter than this is never seen.
constexpr int frameMs = 16;

} // namespace

ButtonPresses::ButtonPresses(std::initializer_list<QAbstractButton*> buttons, QObject* parent)
    : QObject(parent)
{
    for (QAbstractButton* button : buttons)
        button->installEventFilter(this);
    m_showDown.setSingleShot(true);
    m_showDown.setInterval(frameMs);
    connectEvents();
}

void ButtonPresses::connectEvents()
{
    connect(&m_showDown, &QTimer::timeout, this, [this] {
        if (m_pressed)
            m_pressed->setDown(m_on);
    });
}

bool ButtonPresses::eventFilter(QObject* watched, QEvent* event)
{
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || !button->isEnabled())
        return false;
    if (event->type() == QEvent::Shortcut)
        return !static_cast<QShortcutEvent*>(event)->isAmbiguous() && accessKey(button);
    return mouse(button, event);
}

bool ButtonPresses::accessKey(QAbstractButton* button)
{
    const QPointer<QAbstractButton> pressed(button);
    button->click();
    if (pressed) {
        pressed->setDown(true);
        QTimer::singleShot(accessKeyPressMs, pressed, [pressed] { pressed->setDown(false); });
    }
    return true;
}

// A press on the button shows it down, and a release on it clicks it; a
// press dragged off shows it up again, and a release off it clicks nothing.
bool ButtonPresses::mouse(QAbstractButton* button, QEvent* event)
{
    // The second press of two quick ones comes as a double click, and is
    // as much a press of the button as the first.
    const auto type =
        event->type() == QEvent::MouseButtonDblClick ? QEvent::MouseButtonPress : event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseMove)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    m_on = button->rect().contains(mouse->position().toPoint());
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton || !m_on)
            return false;
        m_pressed = button;
        m_showDown.start();
        return true;
    }
    if (m_pressed != button)
        return false;
    if (type == QEvent::MouseMove) {
        if (!m_showDown.isActive() && button->isDown() != m_on)
            button->setDown(m_on);
        return true;
    }
    if (mouse->button() != Qt::LeftButton)
        return false;
    m_pressed = nullptr;
    m_showDown.stop();
    if (button->isDown())
        button->setDown(false);
    if (m_on)
        button->click();
    return true;
}

} // namespace kestran::window
