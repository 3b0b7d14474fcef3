// SPDX-License-Identifier: MIT
// The response list in the window, as the operator and a screen reader meet
// it: every byte told apart, and a list of any length.

#include "windowfixture.h"

#include <QAccessible>
#include <QClipboard>
#include <QDateTime>
#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>

#include <map>

class ListTest : public WindowFixture {
    Q_OBJECT

    // A row as drawn, cropped to its ink, so that spacing alone never tells two apart.
    QByteArray drawn(const FormedLine& shown)
    {
        list()->clear();
        kestran::terminal::Row row;
        row.line = std::make_shared<const FormedLine>(shown);
        list()->appendLine(row);
        QImage image = list()->viewport()->grab(list()->visualRect(0)).toImage();
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink |= image.pixel(x, y) != image.pixel(0, 0) ? QRect(x, y, 1, 1) : QRect();
        image = image.copy(ink);
        return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()) +
               QByteArray::number(ink.width());
    }

private slots:
    void init() { start(); }
    void cleanup() { m_window.reset(); }

    // Rows that differ in a byte differ as drawn, with the fonts installed, under
    // a style sheet: controls against their names as text, a backslash against
    // the won sign after any script, invisible marks against their absence.
    void rowsThatDifferLookDifferent()
    {
        qApp->setStyleSheet(QStringLiteral("QLineEdit { padding: 1px; }"));
        const std::string note = "\342\200\246[5 more bytes not kept]";
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
            const auto [other, fresh] = seen.emplace(drawn({payload}), payload);
            QVERIFY2(fresh, qPrintable(QStringLiteral("\"%1\" looks like \"%2\"")
                                           .arg(QString::fromStdString(payload),
                                                QString::fromStdString(other->second))));
        }
        QVERIFY(!seen.count(drawn({"", 5})));
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
        kestran::terminal::Row withFacts = line(std::string(300, 'a'), 7);
        withFacts.responseUs = 12345;
        withFacts.lineErrors.counts = {1, 0, 2, 0, 0};
        list()->appendLine(withFacts);
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
        for (const QString copied : {"\"\\x02o\\x0D\"", "STXoCRLF"}) { // Copy Bytes, Copy
            QTimer chooser; // picks the entry once the menu is up
            chooser.callOnTimeout([&] {
                if (auto* menu = list()->findChild<QMenu*>(); menu && menu->isVisible())
                    menu->actions().value(copied.startsWith('S') ? 0 : 1)->trigger(), menu->close();
            });
            chooser.start(10);
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, {}, list()->mapToGlobal(QPoint()));
            QCoreApplication::sendEvent(list(), &menu);
            QTRY_COMPARE(QApplication::clipboard()->text(), copied);
        }
    }

    // Past two billion rows the oldest runs go whole, noted, the current row
    // kept; rows and pixels do not overflow. The view follows new rows at the
    // bottom, and stays where the operator scrolled up to read.
    void aListOfAnyLengthStaysSound()
    {
        ResponseList& rows = *list();
        for (int i = 0; i < 100; ++i)
            rows.appendLine(line(std::to_string(i)));
        QTRY_VERIFY(!rows.visualRect(99).isEmpty()); // a burst, caught up with soon after
        QTest::qWait(60);
        rows.appendLine(line("after a pause"));
        QVERIFY(!rows.visualRect(100).isEmpty());                             // at once
        const int many = INT_MAX / rows.visualRect(100).height() + 1'000'000; // past int pixels
        rows.setCurrentRow(50);
        const int top = rows.topRow();
        const auto same = line("same");
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
            small.appendLine(line(payload)); // each its own, alike only in content
        small.setCurrentRow(7);
        small.appendLine(line("g"));
        QCOMPARE(small.count(), 7);
        QCOMPARE(small.lineAt(0), QStringLiteral("\u2026[5 earlier rows removed]"));
        QCOMPARE(small.lineAt(1), QStringLiteral("STXaCRLF"));
        QCOMPARE(small.lineAt(small.currentRow()), QStringLiteral("STXdCRLF"));
        QCOMPARE(small.lineAt(6), QStringLiteral("STXgCRLF"));
        small.resize(200, 120), small.show();                 // a few rows in view
        for (const char* payload : {"h", "i", "j", "k", "l"}) // at the limit, followed
            small.appendLine(line(payload)), QTest::qWait(60);
        QVERIFY(!small.visualRect(small.count() - 1).isEmpty());
    }
};

QTEST_MAIN(ListTest)
#include "list_test.moc"
