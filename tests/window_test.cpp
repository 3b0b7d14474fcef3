// The window as the operator meets it, on the offscreen platform, with a
// pseudo-terminal playing the device.

#include "support/pty.h"
#include "window/frmkestran.h"
#include "window/responselist.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
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

    void altSSendsTheFrame()
    {
        typeCommand(QStringLiteral("STX01DRS,02,0001CRLF"));
        QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
        const std::string expected = "\00201DRS,02,0001\r\n";
        QCOMPARE(readFrame(*m_device, expected.size()), expected);
        QCOMPARE(control<QLineEdit>("txtTextInput")->text(),
                 QStringLiteral("STX01DRS,02,0001CRLF"));
        QCOMPARE(list()->count(), 0);
    }

    void enterAndEscapeInTheEntryFieldDoNothing()
    {
        auto* entry = control<QLineEdit>("txtTextInput");
        entry->setFocus();
        typeCommand(QStringLiteral("STX1CRLF"));
        QTest::keyClick(entry, Qt::Key_Return);
        QTest::keyClick(entry, Qt::Key_Enter);
        QTest::keyClick(entry, Qt::Key_Escape);
        QTest::qWait(100);
        QCOMPARE(m_device->read(1, 0ms), std::string());
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->endedWith());
    }

    void responseInTwoPiecesShowsOneLine()
    {
        deviceWrites("\002AB");
        QTest::qWait(50);
        QCOMPARE(list()->count(), 0);
        deviceWrites("C\r\n");
        QTRY_COMPARE(list()->count(), 1);
        QCOMPARE(list()->lineAt(0), QStringLiteral("STXABCCRLF"));
    }

    void altCClearsTheList()
    {
        deviceWrites("\002A\r\n");
        QTRY_COMPARE(list()->count(), 1);
        // An access key animates the click and lands it a moment later.
        QTest::keyClick(m_window.get(), Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(list()->count(), 0);
        deviceWrites("\r");
        QTRY_COMPARE(list()->count(), 1);
        QCOMPARE(list()->lineAt(0), QStringLiteral("STXACRLF"));
    }

    void altXEndsTheProgram()
    {
        QTest::keyClick(m_window.get(), Qt::Key_X, Qt::AltModifier);
        QTRY_COMPARE(m_window->endedWith(), std::optional<int>(0));
    }

    void commandWithoutFrameSaysWhy()
    {
        typeCommand(QStringLiteral("STX01"));
        QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = m_window->findChild<QMessageBox*>()) != nullptr);
        QVERIFY(box->text().contains(QStringLiteral("\"CRLF\"")));
        box->accept();
        QCOMPARE(m_device->read(1, 100ms), std::string());
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
        QVERIFY(boxes[0]->text().contains(QString::fromStdString(m_device->portName())));
        boxes[0]->accept();
        // The list, Clear and Exit keep working.
        append("STXkeptCRLF");
        QCOMPARE(list()->count(), 1);
        QTest::mouseClick(control<QPushButton>("cmdClear"), Qt::LeftButton);
        QCOMPARE(list()->count(), 0);
        QTest::mouseClick(control<QPushButton>("cmdExit"), Qt::LeftButton);
        QCOMPARE(m_window->endedWith(), std::optional<int>(0));
    }

    void secondKestranOnTheSamePortIsRefusedWhileTheFirstKeepsWorking()
    {
        QProcess second;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(KESTRAN_BINARY),
                     {QString::fromStdString(m_device->portName())});
        QVERIFY(second.waitForFinished(10000));
        QVERIFY(second.exitCode() != 0);
        const QString errors = QString::fromLocal8Bit(second.readAllStandardError());
        QVERIFY2(errors.contains(QStringLiteral("Cannot open the serial port")),
                 qPrintable(errors));
        QVERIFY2(errors.contains(QStringLiteral("Error ")), qPrintable(errors));

        QVERIFY(control<QPushButton>("cmdSend")->isEnabled());
        deviceWrites("\002still here\r\n");
        QTRY_COMPARE(list()->count(), 1);
        QCOMPARE(list()->lineAt(0), QStringLiteral("STXstill hereCRLF"));
    }

    // What the operator types or pastes and what the device sends, at its
    // worst. Every case must end as expected, without a crash or a hang.
    void badInput_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("pasted");
        QTest::addColumn<QByteArrayList>("received");
        QTest::addColumn<QByteArray>("frame"); // null: nothing may be written
        QTest::addColumn<QStringList>("lines");

        const QByteArrayList nothing;
        const QByteArray noFrame;
        const QString longPayload(32762, QLatin1Char('a'));
        QTest::newRow("typed without X") << "01DRS,02,0001CRLF" << false << nothing
                                         << QByteArray("\00201DRS,02,0001\r\n") << QStringList();
        QTest::newRow("typed without CRLF")
            << "STX01" << false << nothing << noFrame << QStringList();
        QTest::newRow("typed lone X") << "X" << false << nothing << noFrame << QStringList();
        QTest::newRow("typed 32767 characters")
            << "X" + longPayload + "CRLF" << false << nothing
            << QByteArray("\x02" + longPayload.toLatin1() + "\r\n") << QStringList();
        QTest::newRow("typed Hangul and accents")
            << QString::fromUtf8("STX\xED\x95\x9C\xEA\xB8\x80 caf\xC3\251CRLF") << false << nothing
            << QByteArray("\x02\xED\x95\x9C\xEA\xB8\x80 caf\xC3\xA9\r\n") << QStringList();
        QTest::newRow("pasted control characters")
            << QString::fromLatin1("STX\tA\001B\x1B\nCRLF") << true << nothing
            << QByteArray("\x02\tA\001B\x1B\n\r\n") << QStringList();

        QTest::newRow("received NUL")
            << QString() << false << QByteArrayList{QByteArray("\002A\0B\r\n", 6)} << noFrame
            << QStringList{QString::fromUtf8("STXA\xE2\x90\200BCRLF")};
        QTest::newRow("received invalid UTF-8")
            << QString() << false << QByteArrayList{"\x02\xFF\xFEok\r"} << noFrame
            << QStringList{QStringLiteral("STX\\xFF\\xFEokCRLF")};
        QTest::newRow("received UTF-8 split across chunks")
            << QString() << false << QByteArrayList{"\x02\xED\x95", "\x9C\r\n"} << noFrame
            << QStringList{QString::fromUtf8("STX\xED\x95\234CRLF")};
        QTest::newRow("received 1 MB line without CR")
            << QString() << false << QByteArrayList{"\x02" + QByteArray(1000000, 'a'), "\r\n"}
            << noFrame
            << QStringList{"STX" + QString(65536, QLatin1Char('a')) +
                           QString::fromUtf8("\xE2\x80\xA6[934464 more bytes not kept]CRLF")};
        QTest::newRow("received STX storm")
            << QString() << false << QByteArrayList{QByteArray(10000, '\x02'), "x\r"} << noFrame
            << QStringList{"STX" + QString(9999, QChar(0x2402)) + "xCRLF"};
        QTest::newRow("received LF only")
            << QString() << false << QByteArrayList{"\n", "\n", "\n"} << noFrame << QStringList();
        QTest::newRow("received CR without STX, then a frame")
            << QString() << false << QByteArrayList{"noise\r", "\002frame\r\n"} << noFrame
            << QStringList{"STXnoiseCRLF", "STXframeCRLF"};
    }
    void badInput()
    {
        QFETCH(QString, typed);
        QFETCH(bool, pasted);
        QFETCH(QByteArrayList, received);
        QFETCH(QByteArray, frame);
        QFETCH(QStringList, lines);

        if (!typed.isEmpty()) {
            auto* entry = control<QLineEdit>("txtTextInput");
            if (pasted) {
                QApplication::clipboard()->setText(typed);
                entry->setFocus();
                QTest::keyClick(entry, Qt::Key_V, Qt::ControlModifier);
            } else {
                entry->setText(typed);
            }
            QCOMPARE(entry->text(), typed);
            control<QPushButton>("cmdSend")->click();
        }
        const std::string written = frame.isNull()
                                        ? m_device->read(1, 100ms)
                                        : readFrame(*m_device, std::size_t(frame.size()));
        QCOMPARE(QByteArray::fromStdString(written), frame.isNull() ? QByteArray("") : frame);
        const auto boxes = m_window->findChildren<QMessageBox*>();
        QCOMPARE(boxes.size(), !typed.isEmpty() && frame.isNull() ? 1 : 0);

        for (const QByteArray& chunk : received) {
            std::string_view left(chunk.constData(), std::size_t(chunk.size()));
            while (!left.empty()) {
                left.remove_prefix(m_device->writeSome(left));
                QCoreApplication::processEvents();
            }
            QTest::qWait(20); // keeps chunks apart
        }
        QTRY_COMPARE(list()->count(), lines.size());
        for (int row = 0; row < lines.size(); ++row)
            QCOMPARE(list()->lineAt(row), lines[row]);
        qInfo("outcome: wrote %lld bytes, %d message(s), %d line(s)",
              static_cast<long long>(written.size()), int(boxes.size()), list()->count());
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

    void repeatedResponsesShareOneText()
    {
        deviceWrites("\002same\r\n");
        QTRY_COMPARE(list()->count(), 1);
        deviceWrites("\002other\r\n");
        QTRY_COMPARE(list()->count(), 2);
        QCOMPARE(list()->lineAt(1), QStringLiteral("STXsameCRLF"));
        QVERIFY(list()->sharesText(0, 1));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
