// SPDX-License-Identifier: MIT
// The window as the operator meets it, on the offscreen platform, with a
// pseudo-terminal playing the device.

#include "support/pty.h"
#include "window/frmkestran.h"
#include "window/responselist.h"
#include "window/responselistaccessible.h"

#include <QAccessible>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

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
    static std::shared_ptr<const FormedLine> line(const std::string& payload)
    {
        return std::make_shared<const FormedLine>(FormedLine{"STX" + payload + "CRLF"});
    }

private slots:
    void init()
    {
        m_device = std::make_unique<Pty>();
        m_window = std::make_unique<FrmKestran>(QString::fromStdString(m_device->portName()));
        QVERIFY(m_window->load());
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
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

    // Enter and Esc send nothing; Alt+S sends what was typed or pasted, control
    // characters included, and a command without a frame gets a message instead.
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
        QCOMPARE(frameAtDevice(8), std::string("\x02\tA\001B\n\r\n"));
        entry()->setText(QString::fromUtf8("STX01,\xED\x95\x9C"
                                           "CRLF"));
        press(Qt::Key_S);
        QCOMPARE(frameAtDevice(9), std::string("\x02"
                                               "01,\xED\x95\x9C\r\n"));
    }

    // Qt's entry field would cut a paste at 32,767 characters; what can go out
    // is taken whole, and what cannot is refused whole with a word.
    void longPastesAreTakenOrRefusedWhole()
    {
        entry()->setFocus();
        const QString fits = QStringLiteral("X") + QString(40000, QLatin1Char('a')) + "CRLF";
        for (const QString& pasted : {fits, QString(70000, QLatin1Char('b'))}) {
            QApplication::clipboard()->setText(pasted);
            QTest::keyClick(entry(), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(entry()->text(), fits);
        }
        QCOMPARE(acceptMessage(), QStringLiteral("The command was not taken: it is 110005 bytes "
                                                 "long, and at most 65536 bytes can wait to go out "
                                                 "to the device."));
        press(Qt::Key_S);
        QCOMPARE(frameAtDevice(40003).size(), std::size_t(40003));
    }

    void altCClearsAndAltXEnds()
    {
        m_device->write("\002A\r\n");
        QTRY_COMPARE(list()->count(), 1);
        press(Qt::Key_C); // an access key animates the click and lands it a moment later
        QTRY_COMPARE(list()->count(), 0);
        m_device->write("\r");
        QTRY_COMPARE(list()->count(), 1);
        press(Qt::Key_X);
        QTRY_COMPARE(m_window->endedWith(), std::optional<int>(0));
    }

    // The device goes and comes back under the same name, a symlink replaced
    // as udev replaces it: Send follows the port, the list stays, and one box
    // tells how the port stands however often it comes and goes.
    void replugIsTakenUpWithTheListKept()
    {
        QTemporaryDir links;
        const QString link = links.filePath(QStringLiteral("usb-device-if00"));
        QVERIFY(QFile::link(QString::fromStdString(m_device->portName()), link));
        m_window = std::make_unique<FrmKestran>(link);
        QVERIFY(m_window->load());
        m_window->show();
        auto* send = control<QPushButton>("cmdSend");
        m_device->write("\002kept\r\n");
        QTRY_COMPARE(list()->count(), 1);
        for (int round = 0; round < 3; ++round) {
            m_device->closeDevice();
            QTRY_VERIFY(!send->isEnabled());
            const auto boxes = m_window->findChildren<QMessageBox*>();
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0]->text(),
                     "The serial port " + link +
                         " stopped working and has been "
                         "closed. KESTRAN opens it again as soon as it is back.\n\n"
                         "Error 6: The device was disconnected.");
            m_device = std::make_unique<Pty>();
            QFile::remove(link);
            QVERIFY(QFile::link(QString::fromStdString(m_device->portName()), link));
            QTRY_VERIFY_WITH_TIMEOUT(send->isEnabled(), 1500);
            QCOMPARE(m_window->findChildren<QMessageBox*>(), boxes);
            QVERIFY(boxes[0]->text().contains(QStringLiteral("is back, and Send works again")));
        }
        m_device->write("\002again\r\n");
        QTRY_COMPARE(list()->count(), 2);
        QCOMPARE(list()->lineAt(0), QStringLiteral("STXkeptCRLF"));
    }

    // Any two rows that differ in a byte must differ as drawn, with the fonts
    // installed here: controls against each other and against their names and
    // pictures as text, a backslash against the won sign after any script,
    // and whatever is translated against the same text sent by the device.
    void rowsThatDifferLookDifferent()
    {
        const std::string note = "\342\200\246[5 more bytes not kept]CRLF";
        std::vector<std::string> payloads = {
            "\342\200\256", "U+202E", "a\342\200\213", "a", "\357\273\277", "U+FEFF", note};
        for (int code = 0; code < 33; ++code) {
            list()->clear();
            list()->appendLine(line(std::string(1, static_cast<char>(code == 32 ? 0x7F : code))));
            const char32_t picture = 0x2400 + static_cast<char32_t>(code == 32 ? 0x21 : code);
            payloads.push_back(std::string(1, static_cast<char>(code == 32 ? 0x7F : code)));
            payloads.push_back(list()->lineAt(0).mid(3).chopped(4).toStdString()); // its name
            payloads.push_back(QString::fromUcs4(&picture, 1).toStdString());
        }
        for (const std::string before :
             {"a", "\355\225\234", "\344\270\255", "\327\251", "\330\271"})
            for (const std::string after : {"\\xFF", "\342\202\251xFF", "\377"})
                payloads.push_back(before + after);
        // Cropped to what is drawn, so that spacing alone never tells two apart.
        const auto drawn = [&](const FormedLine& shown) {
            list()->clear();
            list()->appendLine(std::make_shared<const FormedLine>(shown));
            QImage image = list()->viewport()->grab(list()->visualRect(0)).toImage();
            QRect ink;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    ink |= image.pixel(x, y) != image.pixel(0, 0) ? QRect(x, y, 1, 1) : QRect();
            image = image.copy(ink);
            return QByteArray(reinterpret_cast<const char*>(image.constBits()),
                              image.sizeInBytes()) +
                   QByteArray::number(ink.width());
        };
        std::map<QByteArray, std::string> seen;
        for (const auto& payload : payloads) {
            const auto [other, fresh] = seen.emplace(drawn({payload}), payload);
            QVERIFY2(fresh, qPrintable(QStringLiteral("\"%1\" looks like \"%2\"")
                                           .arg(QString::fromStdString(payload),
                                                QString::fromStdString(other->second))));
        }
        QVERIFY(!seen.count(drawn({"CRLF", 5})));
        const auto entryShows = [&](const char* text) {
            entry()->setText(QString::fromUtf8(text));
            return entry()->grab().toImage();
        };
        QVERIFY(entryShows("\xED\x95\x9C\\") != entryShows("\xED\x95\x9C\xE2\x82\xA9"));
    }

    // What a screen reader is given: the rows by their text, the current
    // row, and word of each new row, selection and focus.
    void screenReaderReadsTheRows()
    {
        static std::vector<std::pair<QAccessible::Event, int>> events;
        kestran::window::setAccessibleEventSink(
            [](QAccessibleEvent* event) { events.emplace_back(event->type(), event->child()); });
        m_window->appendLine(line("one"));
        m_window->appendLine(line("\x01"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(list());
        QCOMPARE(accessible->role(), QAccessible::List);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Responses"));
        QCOMPARE(accessible->childCount(), 2);
        QCOMPARE(accessible->child(1)->role(), QAccessible::ListItem);
        QCOMPARE(accessible->child(1)->text(QAccessible::Name), QStringLiteral("STXSOHCRLF"));
        QCOMPARE(accessible->indexOfChild(accessible->child(1)), 1);
        QTest::keyClick(list(), Qt::Key_Down);
        QCOMPARE(accessible->focusChild()->text(QAccessible::Name), QStringLiteral("STXoneCRLF"));
        QVERIFY(accessible->focusChild()->state().focused);
        kestran::window::setAccessibleEventSink(nullptr);
        const decltype(events) expected = {{QAccessible::TableModelChanged, -1},
                                           {QAccessible::TableModelChanged, -1},
                                           {QAccessible::Selection, 0},
                                           {QAccessible::Focus, 0}};
        QCOMPARE(events, expected);
    }

    // Past two billion rows the oldest runs go whole, with a note of how
    // many; before that, arithmetic on rows and pixels must not overflow. The
    // selection and the scroll position never move by themselves.
    void aListOfAnyLengthStaysSound()
    {
        ResponseList& rows = *list();
        for (int i = 0; i < 100; ++i)
            rows.appendLine(line(std::to_string(i)));
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
        QCOMPARE(rows.currentRow(), many + 99);
        QCOMPARE(rows.lineAt(rows.currentRow()), QStringLiteral("STXsameCRLF"));

        ResponseList small(nullptr, 10);
        for (const char* payload : {"c", "c", "c", "c", "c", "a", "b", "d", "e", "f", "g"})
            small.appendLine(payload[0] == 'c' ? same : line(payload));
        QCOMPARE(small.count(), 7);
        QCOMPARE(small.lineAt(0), QStringLiteral("\u2026[5 earlier rows removed]"));
        QCOMPARE(small.lineAt(1), QStringLiteral("STXaCRLF"));
        QCOMPARE(small.lineAt(6), QStringLiteral("STXgCRLF"));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
