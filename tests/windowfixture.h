// SPDX-License-Identifier: MIT
#pragma once

// A KESTRAN window on the offscreen platform, with a pseudo-terminal playing
// the device: what the window's tests and the list's share.

#include "support/pty.h"
#include "window/frmkestran.h"
#include "window/responselist.h"

#include <QLineEdit>
#include <QTest>

class WindowFixture : public QObject {
protected:
    using FormedLine = kestran::notation::FormedLine;
    using ResponseList = kestran::window::ResponseList;
    std::unique_ptr<kestran::testing::Pty> m_device;
    std::unique_ptr<kestran::window::FrmKestran> m_window;

    template <typename Widget = QWidget> Widget* control(const char* name)
    {
        return m_window->findChild<Widget*>(QString::fromLatin1(name));
    }
    kestran::window::ResponseList* list()
    {
        return control<kestran::window::ResponseList>("lstList");
    }
    QLineEdit* entry() { return control<QLineEdit>("txtTextInput"); }
    // A row of a line of its own, come now.
    static kestran::terminal::Row line(const std::string& payload, std::size_t cut = 0)
    {
        kestran::terminal::Row row;
        row.line = std::make_shared<const FormedLine>(FormedLine{payload, cut});
        row.came = kestran::terminal::Moment::now();
        return row;
    }
    void openWindow(const QString& port, const QString& log = {})
    {
        m_window = std::make_unique<kestran::window::FrmKestran>(port, log);
        QVERIFY(m_window->load());
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }
    void start()
    {
        m_device = std::make_unique<kestran::testing::Pty>();
        openWindow(QString::fromStdString(m_device->portName()));
    }
};
