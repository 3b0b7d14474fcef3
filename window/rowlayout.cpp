// SPDX-License-Identifier: MIT
#include "window/rowlayout.h"

#include "window/fontcoverage.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <limits>

namespace kestran::window {

namespace {

// Farther apart, stops cost less memory, and a repaint walks further to
// reach what is in view.
constexpr int stopSpacing = 2048;
// A translated piece: a framed, tinted box around its text, with a gap on
// each side so that two boxes in a row stay two.
constexpr int boxGap = 1;
constexpr int boxPadding = 2;

QString textOf(const notation::Piece& piece)
{
    return QString::fromUtf8(piece.text.data(), static_cast<qsizetype>(piece.text.size()));
}

} // namespace

RowFont::RowFont(const QFont& font) : m_metrics(font), m_drawable(installedFontsDraw()) {}

int RowFont::width(const notation::Piece& piece) const
{
    const QString text = textOf(piece);
    if (!piece.translated)
        return m_metrics.horizontalAdvance(text);
    auto known = m_translated.constFind(text);
    if (known == m_translated.cend())
        known = m_translated.insert(text,
                                    m_metrics.horizontalAdvance(text) + 2 * (boxGap + boxPadding));
    return *known;
}

const ShapedPiece& RowFont::shaped(const QPainter& painter, const notation::Piece& piece) const
{
    auto known = m_shaped.find(piece.text);
    if (known == m_shaped.end()) {
        QTextLayout layout(textOf(piece), painter.font(), painter.device());
        QTextOption option;
        option.setTextDirection(painter.layoutDirection());
        layout.setTextOption(option);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        // Measured as when the row was laid out, so that its stops stay true.
        known =
            m_shaped
                .emplace(piece.text, ShapedPiece{width(piece), line.ascent(), line.glyphRuns(), 0})
                .first;
    }
    known->second.drawnIn = m_repaints;
    return known->second;
}

void RowFont::repaintStarts() const
{
    ++m_repaints;
    for (auto it = m_shaped.begin(); it != m_shaped.end();)
        it = m_repaints - it->second.drawnIn > 1 ? m_shaped.erase(it) : std::next(it);
}

int layOutRow(notation::LineView line, const RowFont& font, std::vector<RowStop>& stops)
{
    notation::LineWalker walker(line, font.drawable());
    stops = {{0, 0, -1, notation::WalkPosition::beforeStx, 0}};
    std::int64_t x = 0;
    std::int64_t nextStop = stopSpacing;
    notation::Piece piece;
    while (walker.next(piece)) {
        x += font.width(piece);
        if (x >= nextStop && x < std::numeric_limits<std::uint32_t>::max()) {
            const auto at = walker.position();
            stops.push_back({static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(at.at),
                             at.marksOnBase, at.stage, at.strong});
            nextStop = x + stopSpacing;
        }
    }
    stops.shrink_to_fit();
    return static_cast<int>(std::min<std::int64_t>(x, std::numeric_limits<int>::max() / 2));
}

void paintPiece(QPainter& painter, QRect area, const notation::Piece& piece,
                const ShapedPiece* shaped)
{
    if (piece.translated) {
        // Opaque mixes of the text and the row's background: translucent
        // fills cost a blend per pixel, which Qt hands to other threads.
        const QColor text = painter.pen().color();
        const QColor back = painter.background().color();
        const auto mix = [&](int parts) {
            return QColor((text.red() * parts + back.red() * (255 - parts)) / 255,
                          (text.green() * parts + back.green() * (255 - parts)) / 255,
                          (text.blue() * parts + back.blue() * (255 - parts)) / 255);
        };
        const QColor tint = mix(40);
        const QColor frame = mix(150);
        area.adjust(boxGap, 2, -boxGap, -2);
        painter.fillRect(area, tint);
        painter.setPen(frame);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        painter.setPen(text);
        area.adjust(boxPadding, -2, 0, 2);
    }
    // Drawn at a baseline rather than formatted into a rectangle: the same
    // text at a fraction of the cost.
    const QFontMetrics metrics = painter.fontMetrics();
    const int baseline = area.top() + (area.height() - metrics.height()) / 2 + metrics.ascent();
    if (shaped) {
        // Only the glyphs in view: a long piece may run far past both sides.
        const QPointF origin(area.left(), baseline - shaped->ascent);
        const QRectF view(painter.window());
        for (const QGlyphRun& glyphs : shaped->glyphs) {
            if (glyphs.boundingRect().translated(origin).intersects(view))
                painter.drawGlyphRun(origin, glyphs);
        }
    } else
        painter.drawText(QPoint(area.left(), baseline), textOf(piece));
}

void paintRow(QPainter& painter, notation::LineView line, const std::vector<RowStop>* stops,
              const QRect& row, int shift, const RowFont& font)
{
    RowStop stop{0, 0, -1, notation::WalkPosition::beforeStx, 0};
    if (stops) {
        stop = *std::prev(std::upper_bound(
            stops->begin(), stops->end(), static_cast<std::uint32_t>(std::max(shift, 0)),
            [](std::uint32_t wanted, const RowStop& s) { return wanted < s.x; }));
    }
    notation::LineWalker walker(line, font.drawable(),
                                {stop.at, stop.marksOnBase, stop.stage, stop.strong});
    std::int64_t x = static_cast<std::int64_t>(stop.x) - shift;
    notation::Piece piece;
    while (x < row.width() && walker.next(piece)) {
        const ShapedPiece* shaped = piece.translated ? nullptr : &font.shaped(painter, piece);
        const int width = shaped ? shaped->width : font.width(piece);
        if (x + width > 0)
            paintPiece(painter,
                       QRect(row.left() + static_cast<int>(x), row.top(), width, row.height()),
                       piece, shaped);
        x += width;
    }
}

} // namespace kestran::window
