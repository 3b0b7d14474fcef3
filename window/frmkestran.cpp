// SPDX-License-Identifier: MIT
#include "window/frmkestran.h"

#include "ui_frmkestran.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QShortcutEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>

namespace kestran::window {

using terminal::Notice;

namespace {

// How long a button shows as pressed after its access key.
constexpr int accessKeyPressMs = 100;
// Line errors this close together are one burst, told once.
constexpr int burstMs = 5000;

// Without a display nobody could dismiss a waiting message box.
bool headless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void sayOnStandardError(const QString& text)
{
    std::fprintf(stderr, "kestran: %s\n", qPrintable(text.simplified()));
}

} // namespace

FrmKestran::FrmKestran(const QString& portName, const QString& logFile, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::frmKestran>()), m_port(portName),
      m_terminal(m_port, *this), m_logFile(logFile)
{
    m_ui->setupUi(this);
    setFixedSize(size());
    // "System" names no installed family, so for a run of Hangul Qt would pick
    // a Korean font for the whole run, and NanumGothic draws the backslash
    // after it as a won sign. Standing in for "System" everywhere, the family
    // it resolves to comes first for every character it has; as a
    // substitution it holds whatever style or style sheet sets the fonts.
    QFont::insertSubstitution(font().family(), QFontInfo(font()).family());
    // The layout was drawn for a narrower font than most desktops have; the
    // example must still show whole, and the space to its right is free.
    QLabel* example = m_ui->lblEX;
    example->resize(std::max(example->width(), example->sizeHint().width()), example->height());
    // Any command that can go out may be typed or pasted; Qt's default
    // 32,767 characters would cut a paste without a word.
    m_ui->txtTextInput->setMaxLength(std::numeric_limits<int>::max());
    connectEvents();
}

FrmKestran::~FrmKestran()
{
    const qint64 unsent = m_port.release();
    const std::string lineErrors = m_port.lineErrors().describe();
    if (unsent > 0)
        sayOnStandardError(
            QStringLiteral("%1 bytes were not sent to %2.").arg(unsent).arg(m_port.portName()));
    if (!lineErrors.empty())
        sayOnStandardError(QStringLiteral("line errors on %1: %2.")
                               .arg(m_port.portName(), QString::fromStdString(lineErrors)));
    m_log.end(unsent, lineErrors);
}

void FrmKestran::connectEvents()
{
    for (QPushButton* button : {m_ui->cmdSend, m_ui->cmdClear, m_ui->cmdExit})
        button->installEventFilter(this);
    connect(m_ui->cmdSend, &QPushButton::clicked, this, [this] { m_terminal.onSend(); });
    connect(m_ui->cmdClear, &QPushButton::clicked, this, [this] { m_terminal.onClear(); });
    connect(m_ui->cmdExit, &QPushButton::clicked, this, [this] { m_terminal.onExit(); });
    connect(&m_port, &serial::QtSerialPort::onComm, this, [this] { m_terminal.onComm(); });
    connect(&m_port, &serial::QtSerialPort::portState, this,
            [this](const QString& text) { showPortState(text, QMessageBox::Warning); });
    connect(&m_port, &serial::QtSerialPort::frameWritten, this, [this](const QByteArray& frame) {
        m_log.frame(std::string_view(frame.constData(), static_cast<std::size_t>(frame.size())));
        logFailed();
    });
    connect(&m_port, &serial::QtSerialPort::frameLeft, this, [this] {
        m_log.frameLeft(record::SessionLog::Clock::now());
        logFailed();
    });
    connect(&m_port, &serial::QtSerialPort::chunkRead, this, [this](const QByteArray& chunk) {
        m_log.read(std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
        logFailed();
    });
    connect(&m_port, &serial::QtSerialPort::lineErrorsRose, this, &FrmKestran::takeLineErrors);
    connect(m_ui->txtTextInput, &QLineEdit::textEdited, this, &FrmKestran::refuseOverlongCommand);
}

// Qt's access keys hold a button down for 100 ms before it acts, and Alt+S
// is the keyboard operator's only way to send: here the button acts at once,
// and shows as pressed for as long as Qt would have shown it.
bool FrmKestran::eventFilter(QObject* watched, QEvent* event)
{
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (event->type() != QEvent::Shortcut || !button ||
        static_cast<QShortcutEvent*>(event)->isAmbiguous())
        return QWidget::eventFilter(watched, event);
    const QPointer<QAbstractButton> pressed(button);
    button->click();
    if (pressed) {
        pressed->setDown(true);
        QTimer::singleShot(accessKeyPressMs, pressed, [pressed] { pressed->setDown(false); });
    }
    return true;
}

void FrmKestran::refuseOverlongCommand(const QString& text)
{
    const qsizetype bytes = text.toUtf8().size();
    if (bytes <= static_cast<qsizetype>(terminal::Terminal::outputLimit))
        return;
    m_ui->txtTextInput->undo();
    showMessage(tr("The command was not taken: it is %1 bytes long, and at most %2 bytes can wait "
                   "to go out to the device.")
                    .arg(bytes)
                    .arg(terminal::Terminal::outputLimit),
                false);
}

bool FrmKestran::load()
{
    if (!m_logFile.isEmpty()) {
        std::string problem;
        if (!m_log.open(m_logFile.toStdString(), problem)) {
            showMessage(
                tr("Cannot open the log %1: %2.").arg(m_logFile, QString::fromStdString(problem)),
                true);
            endProgram(1);
            return false;
        }
        m_log.start(
            QStringLiteral("KESTRAN %1 on %2 (%3), %4")
                .arg(QStringLiteral(KESTRAN_VERSION), m_port.portName(),
                     QString::fromStdString(serial::resolveDevice(m_port.portName().toStdString())),
                     serial::lineSettings())
                .toStdString());
    }
    m_terminal.onLoad();
    if (m_endedWith)
        return false;
    // The list is the first control in tab order that takes focus.
    m_ui->lstList->setFocus(Qt::OtherFocusReason);
    return true;
}

std::string FrmKestran::commandText() const
{
    return m_ui->txtTextInput->text().toStdString();
}

void FrmKestran::appendLine(const terminal::ShownLine& line)
{
    const qint64 responseUs = m_port.responseUs();
    m_ui->lstList->appendLine(line, {responseUs, m_rowErrors});
    if (m_log.isOpen()) // a flood without a log makes no entries it would throw away
        m_log.row(line->bytes, line->cutBytes, responseUs, m_rowErrors.describe());
    m_rowErrors = {};
    logFailed();
}

void FrmKestran::clearList()
{
    m_ui->lstList->clear();
    m_log.cleared();
    logFailed();
}

void FrmKestran::tellOperator(const Notice& notice)
{
    const QString detail = QString::fromStdString(notice.text);
    switch (notice.kind) {
    case Notice::Kind::portCannotOpen:
        // An empty name would read "the serial port ."
        showMessage(
            tr("Cannot open the serial port%1.\n\n%2")
                .arg(m_port.portName().isEmpty() ? QString() : " " + m_port.portName(), detail),
            true);
        break;
    case Notice::Kind::portLost:
        // Nothing can go out until the device is back, and the operator
        // should see that at a glance.
        m_ui->cmdSend->setEnabled(false);
        showPortState(tr("The serial port %1 stopped working and has been closed. KESTRAN opens "
                         "it again as soon as it is back.\n\n%2")
                          .arg(m_port.portName(), detail),
                      QMessageBox::Critical);
        break;
    case Notice::Kind::portBack:
        m_ui->cmdSend->setEnabled(true);
        showPortState(
            tr("The serial port %1 is back, and Send works again.").arg(m_port.portName()),
            QMessageBox::Information);
        break;
    case Notice::Kind::noFrame:
    case Notice::Kind::outputFull:
        showMessage(detail, false);
        break;
    }
}

void FrmKestran::showMessage(const QString& text, bool critical)
{
    sayOnStandardError(text);
    m_log.told(text.toStdString());
    const auto icon = critical ? QMessageBox::Critical : QMessageBox::Warning;
    if (!isVisible()) {
        // At load the program ends after this message, so it may wait for the
        // operator, unless there is no display to show it on.
        if (!headless())
            QMessageBox(icon, windowTitle(), text, QMessageBox::Ok).exec();
        return;
    }
    // Window-modal and not waiting: the port's notifications keep their order
    // instead of running inside another reaction.
    auto* box = new QMessageBox(icon, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// One box tells how the port stands, changed in place as it comes and goes,
// so that a device that comes and goes many times leaves one box, not many.
// It does not block the window: the list, Clear and Exit work while it is
// open, and so does Send once the port is back.
void FrmKestran::showPortState(const QString& text, QMessageBox::Icon icon)
{
    sayOnStandardError(text);
    m_log.told(text.toStdString());
    if (!isVisible())
        return;
    if (!m_portBox) {
        m_portBox = new QMessageBox(icon, windowTitle(), text, QMessageBox::Ok, this);
        m_portBox->setAttribute(Qt::WA_DeleteOnClose);
        m_portBox->setWindowModality(Qt::NonModal);
        m_portBox->show();
        return;
    }
    m_portBox->setIcon(icon);
    m_portBox->setText(text);
}

// Line errors mark the row being collected, go to the log, and are told
// once a burst, in one box that keeps the burst's count.
void FrmKestran::takeLineErrors(const serial::LineCounters& rise)
{
    m_rowErrors += rise;
    m_log.lineErrors(rise.describe());
    logFailed();
    const bool newBurst = !m_sinceError.isValid() || m_sinceError.elapsed() > burstMs;
    m_sinceError.start();
    m_burst = newBurst ? rise : (m_burst += rise);
    const QString text = tr("The line from %1 has errors: %2. Rows that came meanwhile are "
                            "marked in their details.")
                             .arg(m_port.portName(), QString::fromStdString(m_burst.describe()));
    if (newBurst) {
        sayOnStandardError(text);
        m_log.told(text.toStdString());
    }
    if (m_errorBox) {
        m_errorBox->setText(text);
    } else if (newBurst && isVisible()) {
        m_errorBox =
            new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
        m_errorBox->setAttribute(Qt::WA_DeleteOnClose);
        m_errorBox->setWindowModality(Qt::NonModal);
        m_errorBox->show();
    }
}

// A log that fails (disk full, medium gone) is said once; the session goes
// on without it.
void FrmKestran::logFailed()
{
    const std::string failure = m_log.takeFailure();
    if (!failure.empty())
        showMessage(tr("The log stopped: %1. The session goes on without it.")
                        .arg(QString::fromStdString(failure)),
                    false);
}

void FrmKestran::endProgram(int exitStatus)
{
    m_endedWith = exitStatus;
    QCoreApplication::exit(exitStatus);
}

} // namespace kestran::window
