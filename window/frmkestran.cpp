// SPDX-License-Identifier: MIT
#include "window/frmkestran.h"

#include "ui_frmkestran.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace kestran::window {

using terminal::Notice;

namespace {

// Without a display nobody could dismiss a waiting message box.
bool headless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace

FrmKestran::FrmKestran(const QString& portName, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::frmKestran>()), m_port(portName),
      m_terminal(m_port, *this)
{
    m_ui->setupUi(this);
    setFixedSize(size());
    // "System" names no installed family, so for a run of Hangul Qt would pick
    // a Korean font for the whole run, and NanumGothic draws the backslash
    // after it as a won sign. Naming the family that "System" resolves to
    // keeps it first for every character it has.
    QFont withFallback = font();
    withFallback.setFamilies({withFallback.family(), QFontInfo(withFallback).family()});
    setFont(withFallback);
    // The layout was drawn for a narrower font than most desktops have; the
    // example must still show whole, and the space to its right is free.
    QLabel* example = m_ui->lblEX;
    example->resize(std::max(example->width(), example->sizeHint().width()), example->height());
    // Any command that can go out may be typed or pasted; Qt's default
    // 32,767 characters would cut a paste without a word.
    m_ui->txtTextInput->setMaxLength(std::numeric_limits<int>::max());
    connectEvents();
}

FrmKestran::~FrmKestran() = default;

void FrmKestran::connectEvents()
{
    connect(m_ui->cmdSend, &QPushButton::clicked, this, [this] { m_terminal.onSend(); });
    connect(m_ui->cmdClear, &QPushButton::clicked, this, [this] { m_terminal.onClear(); });
    connect(m_ui->cmdExit, &QPushButton::clicked, this, [this] { m_terminal.onExit(); });
    connect(&m_port, &serial::QtSerialPort::onComm, this, [this] { m_terminal.onComm(); });
    connect(m_ui->txtTextInput, &QLineEdit::textEdited, this, &FrmKestran::refuseOverlongCommand);
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
    m_terminal.onLoad();
    if (m_endedWith)
        return false;
    // The list is the first control in tab order that takes focus.
    m_ui->lstList->setFocus(Qt::OtherFocusReason);
    return true;
}

ResponseList* FrmKestran::responseList() const
{
    return m_ui->lstList;
}

std::string FrmKestran::commandText() const
{
    return m_ui->txtTextInput->text().toStdString();
}

void FrmKestran::appendLine(const terminal::ShownLine& line)
{
    m_ui->lstList->appendLine(line);
}

void FrmKestran::clearList()
{
    m_ui->lstList->clear();
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
    std::fprintf(stderr, "kestran: %s\n", qPrintable(text.simplified()));
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
void FrmKestran::showPortState(const QString& text, QMessageBox::Icon icon)
{
    std::fprintf(stderr, "kestran: %s\n", qPrintable(text.simplified()));
    if (!m_portBox) {
        m_portBox = new QMessageBox(icon, windowTitle(), text, QMessageBox::Ok, this);
        m_portBox->setAttribute(Qt::WA_DeleteOnClose);
        m_portBox->open();
        return;
    }
    m_portBox->setIcon(icon);
    m_portBox->setText(text);
}

void FrmKestran::endProgram(int exitStatus)
{
    m_endedWith = exitStatus;
    QCoreApplication::exit(exitStatus);
}

} // namespace kestran::window
