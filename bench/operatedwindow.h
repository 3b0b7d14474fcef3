// SPDX-License-Identifier: MIT
#pragma once

// KESTRAN's window as the measuring programs drive it: on the offscreen
// platform unless another is asked for, loaded, shown, and with a command
// already typed, so that pressing Send is all an exchange takes.

#include "window/frmkestran.h"
#include "window/responselist.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

namespace kestran::bench {

// Call before the QApplication exists.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

struct OperatedWindow {
    OperatedWindow(const QString& port, const QString& command, const QString& logFile = {})
        : window(port, logFile)
    {
        loaded = window.load();
        if (!loaded)
            return;
        window.show();
        list = window.findChild<window::ResponseList*>(QStringLiteral("lstList"));
        window.findChild<QLineEdit*>(QStringLiteral("txtTextInput"))->setText(command);
        send = window.findChild<QPushButton*>(QStringLiteral("cmdSend"));
        QCoreApplication::processEvents();
    }

    window::FrmKestran window;
    bool loaded = false;
    window::ResponseList* list = nullptr;
    QPushButton* send = nullptr;
};

} // namespace kestran::bench
