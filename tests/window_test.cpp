// SPDX-License-Identifier: MIT
// The window as the operator meets it: its controls, keys, a device that
// comes and goes, and the session's log.

#include "windowfixture.h"

#include <QClipboard>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace std::chrono_literals;
using Pty = kestran::testing::Pty;

class WindowTest : public WindowFixture {
    Q_OBJECT

    // Offscreen, nothing hands activation back when a box or the clipboard took it.
    void press(Qt::Key key)
    {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), key, Qt::AltModifier);
    }
    // What the device end receives, while the event loop runs.
    std::string frameAtDevice(std::size_t size)
    {
        std::string got;
        (void)QTest::qWaitFor(
            [&] { return (got += m_device->read(size - got.size(), 0ms)).size() >= size; });
        return got;
    }
    // The one message box, accepted.
    QString acceptMessage()
    {
        QMessageBox* box = nullptr;
        (void)QTest::qWaitFor([&] { return (box = m_window->findChild<QMessageBox*>()); });
        return box ? (box->accept(), box->text()) : QString();
    }

private slots:
    void init() { start(); }
    void cleanup() { m_window.reset(); }

    // Twips divided by 15. The example label may only grow to the right, into
    // free space, to show whole in the fonts installed. Focus starts at the list.
    void layoutAndTabOrderFollowTheDesign()
    {
        const std::vector<std::tuple<const char*, QRect, QString>> controls = {
            {"lstList", {16, 8, 345, 212}, ""},
            {"cmdClear", {232, 232, 121, 41}, "&Clear"},
            {"txtTextInput", {8, 320, 353, 25}, ""},
            {"cmdExit", {232, 352, 121, 41}, "E&xit"},
            {"cmdSend", {24, 232, 121, 41}, "&Send"},
            {"lblEX", {16, 288, 209, 25}, "EX : STX01DRS,02,0001CRLF "}};
        for (const auto& [name, geometry, text] : controls) {
            QWidget* widget = control(name);
            QCOMPARE(widget->property("text").toString(), text);
            if (text.startsWith("EX")) {
                QCOMPARE(widget->geometry().adjusted(0, 0, geometry.width() - widget->width(), 0),
                         geometry);
                QVERIFY(widget->width() >= widget->sizeHint().width());
            } else {
                QCOMPARE(widget->geometry(), geometry);
            }
        }
        QCOMPARE(m_window->windowTitle(), QStringLiteral("KESTRAN"));
        QCOMPARE(m_window->size(), QSize(376, 401));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
        QCOMPARE(m_window->font().pointSize(), 12);
        QCOMPARE(m_window->font().weight(), QFont::Normal);
        QCOMPARE(list()->font(), m_window->font());
        QCOMPARE(QApplication::focusWidget(), list());
        for (const char* next : {"cmdClear", "txtTextInput", "cmdExit", "cmdSend", "lstList"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
        }
    }

    // Enter and Esc send nothing; Alt+S sends at once what was pasted, controls
    // included, showing Send pressed; no frame, a message instead.
    void altSSendsTheCommandAndNothingElseDoes()
    {
        entry()->setFocus();
        entry()->setText(QStringLiteral("STX1CRLF"));
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(entry(), key);
        QCOMPARE(m_device->read(1, 100ms), std::string());
        entry()->setText(QStringLiteral("STX01"));
        press(Qt::Key_S);
        QVERIFY(acceptMessage().contains(QStringLiteral("\"CRLF\"")));
        entry()->clear();
        entry()->setFocus();
        QApplication::clipboard()->setText(QString::fromLatin1("STX\tA\001B\nCRLF"));
        QTest::keyClick(entry(), Qt::Key_V, Qt::ControlModifier);
        press(Qt::Key_S);
        QVERIFY(control<QPushButton>("cmdSend")->isDown());
        QCoreApplication::processEvents(); // one pass: Qt's own access keys wait 100 ms
        QCOMPARE(m_device->read(8, 0ms), std::string("\x02\tA\001B\n\r\n"));
    }

    // Qt's entry field would cut a paste at 32,767 characters; what can go out
    // is taken whole, and what cannot, counted in bytes, is refused whole.
    void longPastesAreTakenOrRefusedWhole()
    {
        entry()->setFocus();
        const QString fits = QStringLiteral("X") + QString(40000, QLatin1Char('a')) + "CRLF";
        for (const QString& pasted : {fits, QString(10000, QChar(0xD55C))}) {
            QApplication::clipboard()->setText(pasted);
            QTest::keyClick(entry(), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(entry()->text(), fits);
        }
        QCOMPARE(acceptMessage(), QStringLiteral("The command was not taken: it is 70005 bytes "
                                                 "long, and at most 65536 bytes can wait to go out "
                                                 "to the device."));
        press(Qt::Key_S);
        QCOMPARE(frameAtDevice(40003).size(), std::size_t(40003));
    }

    // The device goes and comes back under a symlink replaced as udev does it:
    // Send follows the port, and one box, which does not block the list, Clear
    // or Send, tells how the port stands however often it comes and goes.
    void replugIsTakenUpWithTheListKept()
    {
        QTemporaryDir links;
        const QString link = links.filePath(QStringLiteral("usb-device-if00"));
        QVERIFY(QFile::link(QString::fromStdString(m_device->portName()), link));
        openWindow(link);
        auto* send = control<QPushButton>("cmdSend");
        m_device->write("\002kept\r\n");
        QTRY_COMPARE(list()->count(), 1);
        for (int round = 0; round < 3; ++round) {
            m_device->closeDevice();
            QTRY_VERIFY(!send->isEnabled());
            const auto boxes = m_window->findChildren<QMessageBox*>();
            QCOMPARE(boxes.size(), 1);
            QVERIFY(!boxes[0]->isModal());
            QCOMPARE(boxes[0]->text(),
                     "The serial port " + link +
                         " stopped working and has been closed. KESTRAN opens it again as soon as "
                         "it is back.\n\nError 6: The device was disconnected.");
            m_device = std::make_unique<Pty>();
            QFile::remove(link);
            QVERIFY(QFile::link(QString::fromStdString(m_device->portName()), link));
            QTRY_VERIFY(send->isEnabled());
            QCOMPARE(m_window->findChildren<QMessageBox*>(), boxes);
            QVERIFY(boxes[0]->text().contains(QStringLiteral("is back, and Send works again")));
        }
        entry()->setText(QStringLiteral("STXagainCRLF"));
        QTest::mouseClick(send, Qt::LeftButton); // the box took the keyboard
        QCOMPARE(frameAtDevice(8), std::string("\002again\r\n"));
        m_device->write("\002again\r\n");
        QTRY_COMPARE(list()->count(), 2);
        QCOMPARE(list()->lineAt(0), QStringLiteral("STXkeptCRLF"));
        QTest::mouseClick(control<QPushButton>("cmdClear"), Qt::LeftButton);
        QCOMPARE(list()->count(), 0);
    }

    // The session's record: frames, reads as they came, rows with their
    // response times, Alt+C and the end by Alt+X; the bytes come back exactly.
    // Last: once ended, the application runs no nested event loop again.
    void theLogIsTheWholeRecordToAltX()
    {
        QTemporaryDir folder;
        const QString log = folder.filePath(QStringLiteral("session.log"));
        openWindow(QString::fromStdString(m_device->portName()), log);
        entry()->setText(QStringLiteral("STX01\"\\\177\351CRLF"));
        const std::string frame = "\00201\"\\\x7F\xC3\xA9\r\n";
        const std::string answer = "noise\r\n\002ok\x80\r\n";
        QTest::mouseClick(control<QPushButton>("cmdSend"), Qt::LeftButton);
        QCOMPARE(frameAtDevice(frame.size()), frame);
        m_device->write(answer.substr(0, 6));
        QTest::qWait(50);
        m_device->write(answer.substr(6));
        QTRY_COMPARE(list()->count(), 2);
        press(Qt::Key_C);
        QCOMPARE(list()->count(), 0);
        press(Qt::Key_X);
        QCOMPARE(m_window->endedWith(), std::optional<int>(0));
        m_window.reset();
        QProcess tool; // what came back exactly, in the documented form
        tool.start(QStringLiteral(KESTRAN_SOURCE "/tools/log-bytes"),
                   {QStringLiteral("frame"), log});
        QVERIFY(tool.waitForFinished());
        QCOMPARE(tool.readAllStandardOutput().toStdString(), frame);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QStringList kinds;
        for (const QString& entry : lines)
            kinds << entry.section(' ', 2, 2);
        QCOMPARE(kinds, QStringList({"start", "frame", "sent", "read", "row", "read", "row",
                                     "clear", "end"}));
        QVERIFY(lines[3].endsWith(" read \"noise\\x0D\""));
        QVERIFY(
            lines[4].contains(QRegularExpression(" row \"STXnoiseCRLF\" response=\\d+\\.\\dms$")));
        QVERIFY(lines[8].endsWith(" end unsent=0"));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
