// SPDX-License-Identifier: MIT
#pragma once

// One row of the response list, laid out once when it arrives: its width,
// and a stop every so many pixels from which drawing can resume. Drawing then
// walks the line's pieces from the last stop before what is in view, so a
// row costs time in proportion to what is shown, whatever it holds.

#include "notation/display.h"
#include "window/rowstore.h"

#include <QFontMetrics>
#include <QHash>

#include <vector>

class QPainter;

namespace kestran::window {

// How pieces come out in the list's font. Translated pieces are few in kind,
// so each is measured once.
class RowFont {
public:
    explicit RowFont(const QFont& font);

    int width(const notation::Piece& piece) const;
    notation::Drawable drawable() const { return m_drawable; }

private:
    QFontMetrics m_metrics;
    notation::Drawable m_drawable;
    mutable QHash<QString, int> m_translated;
};

// Draws one piece in `area`, which is as wide as font.width(piece) says.
void paintPiece(QPainter& painter, QRect area, const notation::Piece& piece);

// A row's width in pixels, and its stops when it is wider than one stop apart.
int layOutRow(notation::LineView line, const RowFont& font, std::vector<RowStop>& stops);
// Draws what of the row lies in `row` when scrolled `shift` pixels right.
void paintRow(QPainter& painter, notation::LineView line, const std::vector<RowStop>* stops,
              const QRect& row, int shift, const RowFont& font);

} // namespace kestran::window
