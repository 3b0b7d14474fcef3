// SPDX-License-Identifier: MIT
#pragma once

// KESTRAN's only window. It owns the serial port and the terminal, gives the
// terminal the window's services, and routes every click and port
// notification to one of the terminal's reactions. The session log is
// handed to the terminal once, and everything the operator is told goes
// through the one teller.

#include "record/sessionlog.h"
#include "serial/serialline.h"
#include "terminal/terminal.h"
#include "terminal/window.h"
#include "window/teller.h"

#include <QWidget>

#include <memory>
#include <optional>

namespace Ui {
class frmKestran;
}

namespace kestran::window {

class FrmKestran : public QWidget, public terminal::Window {
    Q_OBJECT

public:
    // logFile: where to append the session's record; none when empty.
    explicit FrmKestran(const QString& portName = serial::defaultPortName(),
                        const QString& logFile = {}, QWidget* parent = nullptr);
    ~FrmKestran() override;

    // The window's load, before it is first shown: opens the log and the
    // port. False when the program has ended there; endedWith() then has its
    // exit status.
    bool load();
    std::optional<int> endedWith() const { return m_endedWith; }

    std::string commandText() const override;
    void appendLine(const terminal::Row& row) override;
    void clearList() override;
    void tellOperator(const terminal::Notice& notice) override;
    void endProgram(int exitStatus) override;

private:
    void connectEvents();
    void refuseOverlongCommand(const QString& text);

    std::unique_ptr<Ui::frmKestran> m_ui;
    serial::SerialLine m_port;
    terminal::Terminal m_terminal;
    QString m_logFile;
    record::SessionLog m_log;
    Teller m_teller;
    std::optional<int> m_endedWith;
};

} // namespace kestran::window
