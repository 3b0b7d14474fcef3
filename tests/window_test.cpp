// SPDX-License-Identifier: MIT
// The window as the operator meets it, on the offscreen platform, with a
// pseudo-terminal playing the device.

#include "support/pty.h"
#include "window/frmkestran.h"
#include "window/responselist.h"

#include <QAccessible>
#include <QClipboard>
#include <QDateTime>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <map>

using namespace std::chrono_literals;
using kestran::notation::FormedLine;
using Pty = kestran::testing::Pty;
using kestran::window::FrmKestran;
using kestran::window::ResponseList;

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Pty> m_device;
    std::unique_ptr<FrmKestran> m_window;

    template <typename Widget = QWidget> Widget* control(const char* name)
    {
        return m_window->findChild<Widget*>(QString::fromLatin1(name));
    }
    ResponseList* list() { return control<ResponseList>("lstList"); }
    QLineEdit* entry() { return control<QLineEdit>("txtTextInput"); }
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
    static std::shared_ptr<const FormedLine> line(const std::string& payload, std::size_t cut = 0)
    {
        return std::make_shared<const FormedLine>(FormedLine{"STX" + payload + "CRLF", cut});
    }
    // A row as drawn, cropped to its ink, so that spacing alone never tells two apart.
    QByteArray drawn(const FormedLine& shown)
    {
        list()->clear();
        list()->appendLine(std::make_shared<const FormedLine>(shown));
        QImage image = list()->viewport()->grab(list()->visualRect(0)).toImage();
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink |= image.pixel(x, y) != image.pixel(0, 0) ? QRect(x, y, 1, 1) : QRect();
        image = image.copy(ink);
        return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()) +
               QByteArray::number(ink.width());
    }

    void openWindow(const QString& port, const QString& log = {})
    {
        m_window = std::make_unique<FrmKestran>(port, log);
        QVERIFY(m_window->load());
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

private slots:
    void init()
    {
        m_device = std::make_unique<Pty>();
        openWindow(QString::fromStdString(m_device->portName()));
    }
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
            if (auto* button = qobject_cast<QPushButton*>(widget))
                QVERIFY(!button->isDefault() && !button->autoDefault());
            if (text.startsWith("EX")) {
                QCOMPARE(widget->geometry().adjusted(0, 0, geometry.width() - widget->width(), 0),
                         geometry);
                QVERIFY(widget->width() >= widget->sizeHint().width());
                for (auto* other :
                     m_window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                    QVERIFY(other == widget || !other->geometry().intersects(widget->geometry()));
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
                         " stopped working and has been "
                         "closed. KESTRAN opens it again as soon as it is back.\n\n"
                         "Error 6: The device was disconnected.");
            m_device = std::make_unique<Pty>();
            QFile::remove(link);
            QVERIFY(QFile::link(QString::fromStdString(m_device->portName()), link));
            QTRY_VERIFY_WITH_TIMEOUT(send->isEnabled(), 1000);
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

    // Rows that differ in a byte differ as drawn, with the fonts installed, under
    // a style sheet: controls against their names as text, a backslash against
    // the won sign after any script, invisible marks against their absence.
    void rowsThatDifferLookDifferent()
    {
        qApp->setStyleSheet(QStringLiteral("QLineEdit { padding: 1px; }"));
        const std::string note = "\342\200\246[5 more bytes not kept]CRLF";
        std::vector<std::string> payloads = {"\342\200\256",
                                             "U+202E",
                                             "a\342\200\213",
                                             "a",
                                             "\357\273\277",
                                             "U+FEFF",
                                             note,
                                             "ab",
                                             "a\357\270\217b",
                                             "a\315\217b",
                                             "\342\235\244",
                                             "\342\235\244\357\270\217",
                                             "\343\205\244"};
        for (int code = 0; code < 33; ++code) {
            const std::string byte(1, static_cast<char>(code == 32 ? 0x7F : code));
            list()->clear();
            list()->appendLine(line(byte));
            payloads.push_back(byte);
            payloads.push_back(list()->lineAt(0).mid(3).chopped(4).toStdString()); // its name
        }
        for (const std::string before :
             {"a", "\355\225\234", "\344\270\255", "\327\251", "\330\271"})
            for (const std::string after : {"\\xFF", "\342\202\251xFF", "\377"})
                payloads.push_back(before + after);
        std::map<QByteArray, std::string> seen;
        for (const auto& payload : payloads) {
            const auto [other, fresh] = seen.emplace(drawn({"STX" + payload + "CRLF"}), payload);
            QVERIFY2(fresh, qPrintable(QStringLiteral("\"%1\" looks like \"%2\"")
                                           .arg(QString::fromStdString(payload),
                                                QString::fromStdString(other->second))));
        }
        QVERIFY(!seen.count(drawn({"STXCRLF", 5})));
        const auto entryShows = [&](const char* text) {
            entry()->setText(QString::fromUtf8(text));
            return entry()->grab().toImage();
        };
        QVERIFY(entryShows("\xED\x95\x9C\\") != entryShows("\xED\x95\x9C\xE2\x82\xA9"));
        qApp->setStyleSheet({});
    }

    // The byte view tells apart what drawing cannot: tooltip, Ctrl+B, Copy
    // Bytes, and each row's description, beside its text as its name, for a
    // screen reader, whose focus child is the current row wherever it stands.
    void byteViewTellsEveryByteApart()
    {
        const std::vector<std::pair<std::string, QString>> rows = {
            {"1 2 3 \327\220 4 5 6", "\"\\x021 2 3 \\xD7\\x90 4 5 6\\x0D\""},
            {"1 2 3 6 5 4 \327\220", "\"\\x021 2 3 6 5 4 \\xD7\\x90\\x0D\""},
            {"\303\251", "\"\\x02\\xC3\\xA9\\x0D\""},
            {"e\314\201", "\"\\x02e\\xCC\\x81\\x0D\""},
            {"o", "\"\\x02o\\x0D\""},
            {"\320\276", "\"\\x02\\xD0\\xBE\\x0D\""}};
        for (const auto& [payload, spelled] : rows)
            list()->appendLine(line(payload));
        list()->appendLine(line(std::string(300, 'a'), 7), {12345, {1, 0, 2, 0, 0}});
        for (int row = 0; row < int(rows.size()); ++row)
            QCOMPARE(list()->spelling(row, false), rows[std::size_t(row)].second);
        QCOMPARE(list()->byteView(6).section('\n', 1),
                 QStringLiteral("Came ") + QDateTime::currentDateTime().toString("yyyy-MM-dd") +
                     list()->byteView(6).section('\n', 1).mid(15, 13) +
                     ", 12.3 ms after the frame left\nLine errors while it came: framing, overrun");
        QVERIFY(list()->byteView(6).contains(" and 45 more (SHA-256 "));
        QVERIFY(list()->spelling(6, true).endsWith(QString(45, QLatin1Char('a')) +
                                                   "\", 7 bytes not kept, \"\\x0D\""));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(list());
        QCOMPARE(accessible->role(), QAccessible::List);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Responses"));
        QCOMPARE(accessible->child(6)->role(), QAccessible::ListItem);
        QCOMPARE(accessible->child(6)->text(QAccessible::Description), list()->byteView(6));
        QCOMPARE(accessible->indexOfChild(accessible->child(6)), 6);
        list()->setFocus();
        list()->setCurrentRow(4);
        QCOMPARE(accessible->focusChild()->text(QAccessible::Name), QStringLiteral("STXoCRLF"));
        QVERIFY(accessible->focusChild()->state().focused &&
                !accessible->focusChild()->rect().isEmpty());
        QTest::keyClick(list(), Qt::Key_B, Qt::ControlModifier);
        QTRY_COMPARE(QToolTip::text(), list()->byteView(4));
        QHelpEvent hover(QEvent::ToolTip, list()->visualRect(5).center(), QPoint(10, 10));
        QCoreApplication::sendEvent(list()->viewport(), &hover);
        QTRY_COMPARE(QToolTip::text(), list()->byteView(5));
        QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("STXoCRLF"));
        QTimer chooser; // picks Copy Bytes once the menu is up
        chooser.callOnTimeout([&] {
            if (auto* menu = list()->findChild<QMenu*>(); menu && menu->isVisible())
                menu->actions().value(1)->trigger(), menu->close(), chooser.stop();
        });
        chooser.start(10);
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, {}, list()->mapToGlobal(QPoint()));
        QCoreApplication::sendEvent(list(), &menu);
        QTRY_COMPARE(QApplication::clipboard()->text(), QStringLiteral("\"\\x02o\\x0D\""));
    }

    // Past two billion rows the oldest runs go whole, noted, the current row
    // kept; rows and pixels do not overflow. The view follows new rows at the
    // bottom, and stays where the operator scrolled up to read.
    void aListOfAnyLengthStaysSound()
    {
        ResponseList& rows = *list();
        for (int i = 0; i < 100; ++i)
            rows.appendLine(line(std::to_string(i)));
        QTRY_VERIFY_WITH_TIMEOUT(!rows.visualRect(99).isEmpty(), 100); // a burst within 50 ms
        QTest::qWait(60);
        rows.appendLine(line("after a pause"));
        QVERIFY(!rows.visualRect(100).isEmpty()); // at once
        rows.setCurrentRow(50);
        const int top = rows.topRow();
        const auto same = line("same");
        constexpr int many = 200'000'000;
        for (int i = 0; i < many; ++i)
            rows.appendLine(same);
        QTest::qWait(100);
        QCOMPARE(rows.currentRow(), 50);
        QCOMPARE(rows.topRow(), top);
        QTest::keyClick(&rows, Qt::Key_End);
        QTest::keyClick(&rows, Qt::Key_PageDown);
        QCOMPARE(rows.currentRow(), many + 100);
        QCOMPARE(rows.lineAt(rows.currentRow()), QStringLiteral("STXsameCRLF"));
        rows.appendLine(line("newest"));
        QVERIFY(!rows.visualRect(many + 101).isEmpty());

        ResponseList small(nullptr, 10);
        for (const char* payload : {"c", "c", "c", "c", "c", "a", "b", "d", "e", "f"})
            small.appendLine(payload[0] == 'c' ? same : line(payload));
        small.setCurrentRow(7);
        small.appendLine(line("g"));
        QCOMPARE(small.count(), 7);
        QCOMPARE(small.lineAt(0), QStringLiteral("\u2026[5 earlier rows removed]"));
        QCOMPARE(small.lineAt(1), QStringLiteral("STXaCRLF"));
        QCOMPARE(small.lineAt(small.currentRow()), QStringLiteral("STXdCRLF"));
        QCOMPARE(small.lineAt(6), QStringLiteral("STXgCRLF"));
    }

    // The session's record: frames, reads as they came, rows with their
    // response times, Alt+C and the end by Alt+X; the bytes come back exactly.
    // Last: once ended, the application runs no nested event loop again.
    void theLogIsTheWholeRecordToAltX()
    {
        QTemporaryDir folder;
        const QString log = folder.filePath(QStringLiteral("session.log"));
        openWindow(QString::fromStdString(m_device->portName()), log);
        entry()->setText(QStringLiteral("STX01\"\\\x7F\xE9"
                                        "CRLF"));
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
