// SPDX-License-Identifier: MIT
#pragma once

// The one way the operator is told anything: a line on standard error, an
// entry in the session log, and a box. Before the window is shown (the
// start fails) the box waits for the operator, unless there is no display
// to show it on. Once it is shown, a box never blocks: a passing message
// gets a box of its own, and each lasting state (how the port stands, a
// burst of line errors) has one box that changes in place, so that a device
// that comes and goes many times leaves one box, not many.

#include "record/sessionlog.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>

namespace kestran::window {

class Teller {
public:
    enum class State { port, lineErrors };

    Teller(QWidget& window, record::SessionLog& log) : m_window(window), m_log(log) {}

    void tell(const QString& text, QMessageBox::Icon icon);
    // The state's box, opened if it is not, with its text now.
    void tellState(State state, const QString& text, QMessageBox::Icon icon);
    // Only the text of the state's box, if it is open: the state went on.
    void updateState(State state, const QString& text);

private:
    void sayAndRecord(const QString& text);
    QMessageBox* box(QMessageBox::Icon icon, const QString& text);
    QPointer<QMessageBox>& boxOf(State state)
    {
        return state == State::port ? m_portBox : m_errorBox;
    }

    QWidget& m_window;
    record::SessionLog& m_log;
    QPointer<QMessageBox> m_portBox, m_errorBox;
};

} // namespace kestran::window
