// SPDX-License-Identifier: MIT
#pragma once

// KESTRAN's only window. It owns the serial port and the terminal, gives the
// terminal the window's services, and routes every click and port
// notification to one of the terminal's reactions. It also keeps the
// operator's record: the session log, each row's response time and the
// line errors seen while it came.

#include "record/sessionlog.h"
#include "serial/qtserialport.h"
#include "terminal/terminal.h"
#include "terminal/window.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

namespace Ui {
class frmKestran;
}

namespace kestran::window {

class ResponseList;

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
    void appendLine(const terminal::ShownLine& line) override;
    void clearList() override;
    void tellOperator(const terminal::Notice& notice) override;
    void endProgram(int exitStatus) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectEvents();
    void showMessage(const QString& text, bool critical);
    void showPortState(const QString& text, QMessageBox::Icon icon);
    void refuseOverlongCommand(const QString& text);
    void takeLineErrors(const serial::LineCounters& rise);
    void logFailed();

    std::unique_ptr<Ui::frmKestran> m_ui;
    serial::QtSerialPort m_port;
    terminal::Terminal m_terminal;
    std::optional<int> m_endedWith;
    QPointer<QMessageBox> m_portBox;
    QString m_logFile;
    record::SessionLog m_log;
    // Line errors since the last row, for the row being collected, and the
    // burst the operator was last told of.
    serial::LineCounters m_rowErrors, m_burst;
    QPointer<QMessageBox> m_errorBox;
    QElapsedTimer m_sinceError;
};

} // namespace kestran::window
