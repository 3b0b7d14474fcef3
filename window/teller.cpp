// SPDX-License-Identifier: MIT
#include "window/teller.h"

#include <QGuiApplication>
#include <QPainter>
#include <QStyle>

#include <cstdio>

namespace kestran::window {

namespace {

// Without a display nobody could dismiss a waiting message box.
bool headless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

// Each kind of message's picture, drawn here: any picture the style gives
// is looked for in the desktop's icon theme first, and the first look reads
// the theme's whole index, two thirds of the CPU the reaction to a hang-up
// took (bench/README.md).
QPixmap picture(QMessageBox::Icon icon, int size, qreal ratio)
{
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF all(0, 0, size, size);
    const QRectF inner = all.adjusted(size * 0.1, size * 0.1, -size * 0.1, -size * 0.1);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size * 5 / 8);
    painter.setFont(font);
    QString mark;
    if (icon == QMessageBox::Warning) {
        painter.setBrush(QColor(0xF0, 0xB4, 0x1E));
        painter.setPen(Qt::NoPen);
        painter.drawPolygon(
            QPolygonF({QPointF(size / 2.0, inner.top()), inner.bottomRight(), inner.bottomLeft()}));
        painter.setPen(Qt::black);
        mark = QStringLiteral("!");
    } else {
        painter.setBrush(icon == QMessageBox::Critical ? QColor(0xCC, 0x22, 0x22)
                                                       : QColor(0x22, 0x66, 0xCC));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(inner);
        painter.setPen(Qt::white);
        mark = icon == QMessageBox::Critical ? QStringLiteral("\u00D7") : QStringLiteral("i");
    }
    painter.drawText(all.adjusted(0, size / 10.0, 0, 0), Qt::AlignCenter, mark);
    return pixmap;
}

void showIcon(QMessageBox& box, QMessageBox::Icon icon)
{
    const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    box.setIconPixmap(picture(icon, size, box.devicePixelRatioF()));
}

} // namespace

// A box for the window, its text laid out as plain text: with the links its
// label takes by default it is laid out as a rich document, again at each of
// the sizes Qt's layout tries, which was a third of the rest of a hang-up's
// reaction (bench/README.md). Its OK is a button of its own: a standard
// button too would look for a picture in the icon theme.
QMessageBox* Teller::box(QMessageBox::Icon icon, const QString& text)
{
    auto* shown = new QMessageBox(QMessageBox::NoIcon, m_window.windowTitle(), text,
                                  QMessageBox::NoButton, &m_window);
    shown->addButton(QObject::tr("OK"), QMessageBox::AcceptRole);
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->setTextFormat(Qt::PlainText);
    shown->setTextInteractionFlags(Qt::NoTextInteraction);
    showIcon(*shown, icon);
    return shown;
}

void Teller::sayAndRecord(const QString& text)
{
    std::fprintf(stderr, "kestran: %s\n", qPrintable(text.simplified()));
    m_log.told(text.toStdString());
}

void Teller::tell(const QString& text, QMessageBox::Icon icon)
{
    sayAndRecord(text);
    if (!m_window.isVisible()) {
        // At load the program ends after this message, so it may wait for the
        // operator.
        if (!headless())
            QMessageBox(icon, m_window.windowTitle(), text, QMessageBox::Ok).exec();
        return;
    }
    // Window-modal and not waiting: the port's notifications keep their order
    // instead of running inside another reaction.
    box(icon, text)->open();
}

void Teller::tellState(State state, const QString& text, QMessageBox::Icon icon)
{
    sayAndRecord(text);
    QPointer<QMessageBox>& shown = boxOf(state);
    if (shown) {
        showIcon(*shown, icon);
        shown->setText(text);
    } else if (m_window.isVisible()) {
        // The list, Clear and Exit work while it is open, and so does Send
        // once the port is back.
        shown = box(icon, text);
        shown->setWindowModality(Qt::NonModal);
        shown->show();
    }
}

void Teller::updateState(State state, const QString& text)
{
    if (QPointer<QMessageBox>& shown = boxOf(state))
        shown->setText(text);
}

} // namespace kestran::window
