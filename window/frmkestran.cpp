// SPDX-License-Identifier: MIT
#include "window/frmkestran.h"

#include "ui_frmkestran.h"
#include "window/buttonpresses.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace kestran::window {

using terminal::Notice;

FrmKestran::FrmKestran(const QString& portName, const QString& logFile, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::frmKestran>()), m_port(portName),
      m_terminal(m_port, *this), m_logFile(logFile), m_teller(*this, m_log)
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
    new ButtonPresses({m_ui->cmdSend, m_ui->cmdClear, m_ui->cmdExit}, this);
    m_terminal.recordTo(m_log);
    m_log.whenItFails([this](const std::string& why) {
        m_teller.tell(tr("The log stopped: %1. The session goes on without it.")
                          .arg(QString::fromStdString(why)),
                      QMessageBox::Warning);
    });
    connectEvents();
}

FrmKestran::~FrmKestran()
{
    const qint64 unsent = m_port.release();
    const terminal::LineErrors& lineErrors = m_port.lineErrors();
    const auto say = [](const QString& text) {
        std::fprintf(stderr, "kestran: %s\n", qPrintable(text));
    };
    if (unsent > 0)
        say(QStringLiteral("%1 bytes were not sent to %2.").arg(unsent).arg(m_port.portName()));
    if (lineErrors.any())
        say(QStringLiteral("line errors on %1: %2.")
                .arg(m_port.portName(), QString::fromStdString(lineErrors.describe())));
    m_log.end(unsent, lineErrors);
}

void FrmKestran::connectEvents()
{
    connect(m_ui->cmdSend, &QPushButton::clicked, this, [this] { m_terminal.onSend(); });
    connect(m_ui->cmdClear, &QPushButton::clicked, this, [this] { m_terminal.onClear(); });
    connect(m_ui->cmdExit, &QPushButton::clicked, this, [this] { m_terminal.onExit(); });
    connect(&m_port, &serial::SerialLine::onComm, this, [this] { m_terminal.onComm(); });
    connect(&m_port, &serial::SerialLine::portState, this, [this](const QString& text) {
        m_teller.tellState(Teller::State::port, text, QMessageBox::Warning);
    });
    connect(m_ui->txtTextInput, &QLineEdit::textEdited, this, &FrmKestran::refuseOverlongCommand);
}

void FrmKestran::refuseOverlongCommand(const QString& text)
{
    const qsizetype bytes = text.toUtf8().size();
    if (bytes <= static_cast<qsizetype>(terminal::Terminal::outputLimit))
        return;
    m_ui->txtTextInput->undo();
    m_teller.tell(tr("The command was not taken: it is %1 bytes long, and at most %2 bytes can "
                     "wait to go out to the device.")
                      .arg(bytes)
                      .arg(terminal::Terminal::outputLimit),
                  QMessageBox::Warning);
}

bool FrmKestran::load()
{
    if (!m_logFile.isEmpty()) {
        std::string problem;
        if (!m_log.open(m_logFile.toStdString(), problem)) {
            m_teller.tell(
                tr("Cannot open the log %1: %2.").arg(m_logFile, QString::fromStdString(problem)),
                QMessageBox::Critical);
            endProgram(1);
            return false;
        }
        m_log.start(QStringLiteral("KESTRAN %1 on %2 (%3), %4")
                        .arg(QStringLiteral(KESTRAN_VERSION), m_port.portName(),
                             QString::fromStdString(serial::resolveDevice(m_port.portName())),
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

void FrmKestran::appendLine(const terminal::Row& row)
{
    m_ui->lstList->appendLine(row);
}

void FrmKestran::clearList()
{
    m_ui->lstList->clear();
}

void FrmKestran::tellOperator(const Notice& notice)
{
    const QString detail = QString::fromStdString(notice.text);
    const QString name = m_port.portName();
    const QString lineErrors = tr("The line from %1 has errors: %2. Rows that came meanwhile are "
                                  "marked in their details.")
                                   .arg(name, detail);
    switch (notice.kind) {
    case Notice::Kind::portCannotOpen:
        // An empty name would read "the serial port ."
        m_teller.tell(tr("Cannot open the serial port%1.\n\n%2")
                          .arg(name.isEmpty() ? QString() : " " + name, detail),
                      QMessageBox::Critical);
        break;
    case Notice::Kind::portLost:
        // Nothing can go out until the device is back, and the operator
        // should see that at a glance.
        m_ui->cmdSend->setEnabled(false);
        m_teller.tellState(Teller::State::port,
                           tr("The serial port %1 stopped working and has been closed. KESTRAN "
                              "opens it again as soon as it is back.\n\n%2")
                               .arg(name, detail),
                           QMessageBox::Critical);
        break;
    case Notice::Kind::portBack:
        m_ui->cmdSend->setEnabled(true);
        m_teller.tellState(Teller::State::port,
                           tr("The serial port %1 is back, and Send works again.").arg(name),
                           QMessageBox::Information);
        break;
    case Notice::Kind::noFrame:
    case Notice::Kind::outputFull:
        m_teller.tell(detail, QMessageBox::Warning);
        break;
    case Notice::Kind::lineErrors:
        m_teller.tellState(Teller::State::lineErrors, lineErrors, QMessageBox::Warning);
        break;
    case Notice::Kind::moreLineErrors:
        m_teller.updateState(Teller::State::lineErrors, lineErrors);
        break;
    }
}

void FrmKestran::endProgram(int exitStatus)
{
    m_endedWith = exitStatus;
    QCoreApplication::exit(exitStatus);
}

} // namespace kestran::window
