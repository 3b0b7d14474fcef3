// SPDX-License-Identifier: MIT
#pragma once

// One row of the response list, laid out once when it arrives: its width,
// and a stop every so many pixels from which drawing can resume. Drawing then
// walks the line's pieces from the last stop before what is in view, so a
// row costs time in proportion to what is shown, whatever it holds.

#include "notation/display.h"
#include "window/rowstore.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QHash>

#include <string>
#include <unordered_map>
#include <vector>

class QPainter;

namespace kestran::window {

// A plain piece as it is drawn: its glyphs where they go from the top left
// of its line, and how wide it is.
struct ShapedPiece {
    int width;
    qreal ascent;
    QList<QGlyphRun> glyphs;
    unsigned drawnIn;
};

// How pieces come out in the list's font. Translated pieces are few in kind,
// so each is measured once.
class RowFont {
public:
    explicit RowFont(const QFont& font);

    int width(const notation::Piece& piece) const;
    notation::Drawable drawable() const { return m_drawable; }

    // A plain piece shaped for drawing. Shaping is most of what a repaint
    // costs, and a right-to-left run, which may not be cut, is shaped whole
    // however little of it shows; so what is in view is shaped once and
    // kept while it stays in view (bench/README.md, long rows).
    const ShapedPiece& shaped(const QPainter& painter, const notation::Piece& piece) const;
    // Forgets what neither this repaint nor the one before it drew.
    void repaintStarts() const;

private:
    QFontMetrics m_metrics;
    notation::Drawable m_drawable;
    mutable QHash<QString, int> m_translated;
    mutable std::unordered_map<std::string, ShapedPiece> m_shaped;
    mutable unsigned m_repaints = 0;
};

// Draws one piece in `area`, which is as wide as font.width(piece) says;
// from its shaped form when it has one.
void paintPiece(QPainter& painter, QRect area, const notation::Piece& piece,
                const ShapedPiece* shaped = nullptr);

// A row's width in pixels, and its stops when it is wider than one stop apart.
int layOutRow(notation::LineView line, const RowFont& font, std::vector<RowStop>& stops);
// Draws what of the row lies in `row` when scrolled `shift` pixels right.
void paintRow(QPainter& painter, notation::LineView line, const std::vector<RowStop>* stops,
              const QRect& row, int shift, const RowFont& font);

} // namespace kestran::window
