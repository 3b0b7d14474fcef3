// SPDX-License-Identifier: MIT
#pragma once

// KESTRAN's only window. It owns the serial port and the terminal, gives the
// terminal the window's services, and routes every click and port
// notification to one of the terminal's reactions.

#include "serial/qtserialport.h"
#include "terminal/terminal.h"
#include "terminal/window.h"

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
    explicit FrmKestran(const QString& portName = serial::defaultPortName(),
                        QWidget* parent = nullptr);
    ~FrmKestran() override;

    // The window's load, before it is first shown: opens the port. False when
    // the program has ended there; endedWith() then has its exit status.
    bool load();
    std::optional<int> endedWith() const { return m_endedWith; }

    ResponseList* responseList() const;

    std::string commandText() const override;
    void appendLine(const terminal::ShownLine& line) override;
    void clearList() override;
    void tellOperator(const terminal::Notice& notice) override;
    void endProgram(int exitStatus) override;

private:
    void connectEvents();
    void showMessage(const QString& text, bool critical);
    void showPortState(const QString& text, QMessageBox::Icon icon);
    void refuseOverlongCommand(const QString& text);

    std::unique_ptr<Ui::frmKestran> m_ui;
    serial::QtSerialPort m_port;
    terminal::Terminal m_terminal;
    std::optional<int> m_endedWith;
    QPointer<QMessageBox> m_portBox;
};

} // namespace kestran::window
