// The window as the operator meets it, on the offscreen platform, with a
// pseudo-terminal playing the device.

#include "support/pty.h"
#include "window/frmkestran.h"
#include "window/responselist.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using kestran::testing::Pty;
using kestran::window::FrmKestran;
using kestran::window::ResponseList;

namespace {

// Lets the event loop run while the device end collects what the program writes.
std::string readFrame(Pty& device, std::size_t size)
{
    std::string got;
    QDeadlineTimer deadline(5000);
    while (got.size() < size && !deadline.hasExpired()) {
        QTest::qWait(10);
        got += device.read(size - got.size(), 0ms);
    }
    return got;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Pty> m_device;
    std::unique_ptr<FrmKestran> m_window;

    template <typename Widget> Widget* control(const char* name)
    {
        auto* widget = m_window->findChild<Widget*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    ResponseList* list() { return control<ResponseList>("lstList"); }
    void typeCommand(const QString& text) { control<QLineEdit>("txtTextInput")->setText(text); }
    void deviceWrites(const std::string& bytes) { m_device->write(bytes); }
    void append(const std::string& text)
    {
        m_window->appendLine(std::make_shared<const std::string>(text));
    }

private slots:
    void init()
    {
        m_device = std::make_unique<Pty>();
        m_window = std::make_unique<FrmKestran>(QString::fromStdString(m_device->portName()));
        QVERIFY(m_window->load());
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }
    void cleanup()
    {
        m_window.reset();
        m_device.reset();
    }

    void layoutFollowsTheDesign_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        // Twips divided by 15.
        QTest::newRow("lstList") << "lstList" << QRect(16, 8, 345, 212) << QString();
        QTest::newRow("cmdClear") << "cmdClear" << QRect(232, 232, 121, 41) << "&Clear";
        QTest::newRow("lblEX") << "lblEX" << QRect(16, 288, 209, 25)
                               << "EX : STX01DRS,02,0001CRLF ";
        QTest::newRow("txtTextInput") << "txtTextInput" << QRect(8, 320, 353, 25) << QString();
        QTest::newRow("cmdExit") << "cmdExit" << QRect(232, 352, 121, 41) << "E&xit";
        QTest::newRow("cmdSend") << "cmdSend" << QRect(24, 232, 121, 41) << "&Send";
    }
    void layoutFollowsTheDesign()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        auto* widget = m_window->findChild<QWidget*>(name);
        QVERIFY(widget);
        if (name == QLatin1String("lblEX")) {
            // The example label may only grow to the right, into free space, to show whole.
            QCOMPARE(widget->pos(), geometry.topLeft());
            QCOMPARE(widget->height(), geometry.height());
            QVERIFY(widget->width() >= geometry.width());
            QVERIFY(widget->width() >= widget->sizeHint().width());
            QVERIFY(widget->geometry().right() < m_window->width());
            for (auto* other :
                 m_window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                QVERIFY2(other == widget || !other->geometry().intersects(widget->geometry()),
                         qPrintable(other->objectName()));
        } else {
            QCOMPARE(widget->geometry(), geometry);
        }
        QCOMPARE(widget->property("text").toString(), text);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        }
    }

    void windowHasItsCaptionSizeAndFont()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("KESTRAN"));
        QCOMPARE(m_window->size(), QSize(376, 401));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
        QCOMPARE(m_window->font().pointSize(), 12);
        QCOMPARE(m_window->font().weight(), QFont::Normal);
        QCOMPARE(list()->font(), m_window->font());
    }

    void tabOrderStartsAtTheList()
    {
        QCOMPARE(QApplication::focusWidget(), list());
        const QStringList order = {"cmdClear", "txtTextInput", "cmdExit", "cmdSend", "lstList"};
        for (const QString& next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        }
    }

    // Enter and Esc send nothing; Alt+S sends what was typed or pasted, control
    // characters included, and a command without a frame gets a message instead.
    void altSSendsTheCommandAndNothingElseDoes()
    {
        auto* entry = control<QLineEdit>("txtTextInput");
        entry->setFocus();
        typeCommand(QStringLiteral("STX1CRLF"));
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(entry, key);
        QCOMPARE(m_device->read(1, 100ms), std::string());

        typeCommand(QStringLiteral("STX01"));
        QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = m_window->findChild<QMessageBox*>()) != nullptr);
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        box->accept();
        // Offscreen, nothing hands activation back when the box goes.
        QApplication::setActiveWindow(m_window.get());
        typeCommand(QString());
        entry->setFocus();
        QApplication::clipboard()->setText(QString::fromLatin1("STX\tA\001B\nCRLF"));
        QTest::keyClick(entry, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
        const std::string pasted = "\x02\tA\001B\n\r\n";
        QCOMPARE(readFrame(*m_device, pasted.size()), pasted);
        typeCommand(QString::fromUtf8("STX01DRS,02,\xED\x95\x9C" "CRLF"));
        QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
        const std::string typed = "\x02" "01DRS,02,\xED\x95\x9C\r\n";
        QCOMPARE(readFrame(*m_device, typed.size()), typed);
        QCOMPARE(list()->count(), 0);
    }

    void altCClearsAndAltXEnds()
    {
        deviceWrites("\002A\r\n");
        QTRY_COMPARE(list()->count(), 1);
        // An access key animates the click and lands it a moment later.
        QTest::keyClick(m_window.get(), Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(list()->count(), 0);
        deviceWrites("\r");
        QTRY_COMPARE(list()->count(), 1);
        QTest::keyClick(m_window.get(), Qt::Key_X, Qt::AltModifier);
        QTRY_COMPARE(m_window->endedWith(), std::optional<int>(0));
    }

    void lostDeviceDisablesSendAndTellsOnce()
    {
        auto* send = control<QPushButton>("cmdSend");
        QVERIFY(send->isEnabled());
        m_device->closeDevice();
        QTRY_VERIFY(!send->isEnabled());
        QTest::qWait(200);
        const auto boxes = m_window->findChildren<QMessageBox*>();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0]->text().startsWith(
            QStringLiteral("The serial port %1 stopped working and has been closed. "
                           "Nothing more can be sent.\n\nError ")
                .arg(QString::fromStdString(m_device->portName()))));
    }

    void appendsNeverMoveSelectionOrScrolling()
    {
        for (int i = 0; i < 100; ++i)
            append("STXline " + std::to_string(i) + "CRLF");
        list()->setCurrentRow(50);
        const int top = list()->topRow();
        QVERIFY(top > 0);
        for (int i = 0; i < 1000; ++i)
            append("STXmoreCRLF");
        QTest::qWait(100);
        QCOMPARE(list()->currentRow(), 50);
        QCOMPARE(list()->topRow(), top);
        QCOMPARE(list()->verticalScrollBar()->maximum(),
                 1100 - list()->verticalScrollBar()->pageStep());
        QTest::keyClick(list(), Qt::Key_End);
        QCOMPARE(list()->currentRow(), 1099);
        QCOMPARE(list()->lineAt(1099), QStringLiteral("STXmoreCRLF"));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
