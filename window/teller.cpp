// SPDX-License-Identifier: MIT
#include "window/teller.h"

#include <QGuiApplication>

#include <cstdio>

namespace kestran::window {

namespace {

// Without a display nobody could dismiss a waiting message box.
bool headless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace

void Teller::sayAndRecord(const QString& text)
{
    std::fprintf(stderr, "kestran: %s\n", qPrintable(text.simplified()));
    m_log.told(text.toStdString());
}

void Teller::tell(const QString& text, QMessageBox::Icon icon)
{
    sayAndRecord(text);
    if (!m_window.isVisible()) {
        // At load the program ends after this message, so it may wait for the
        // operator.
        if (!headless())
            QMessageBox(icon, m_window.windowTitle(), text, QMessageBox::Ok).exec();
        return;
    }
    // Window-modal and not waiting: the port's notifications keep their order
    // instead of running inside another reaction.
    auto* shown = new QMessageBox(icon, m_window.windowTitle(), text, QMessageBox::Ok, &m_window);
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->open();
}

void Teller::tellState(State state, const QString& text, QMessageBox::Icon icon)
{
    sayAndRecord(text);
    QPointer<QMessageBox>& shown = box(state);
    if (shown) {
        shown->setIcon(icon);
        shown->setText(text);
    } else if (m_window.isVisible()) {
        // The list, Clear and Exit work while it is open, and so does Send
        // once the port is back.
        shown = new QMessageBox(icon, m_window.windowTitle(), text, QMessageBox::Ok, &m_window);
        shown->setAttribute(Qt::WA_DeleteOnClose);
        shown->setWindowModality(Qt::NonModal);
        shown->show();
    }
}

void Teller::updateState(State state, const QString& text)
{
    if (QPointer<QMessageBox>& shown = box(state))
        shown->setText(text);
}

} // namespace kestran::window
