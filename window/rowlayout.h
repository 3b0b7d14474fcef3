// SPDX-License-Identifier: MIT
#pragma once

// One row of the response list, laid out once when it arrives: its width, and
// a stop every so many pixels from which drawing can resume. Drawing then
// walks the line's pieces from the last stop before what is in view, so a
// row costs time in proportion to what is shown, and holds no more than its
// bytes and its stops, whatever it holds.

#include "notation/display.h"
#include "terminal/window.h"

#include <QFontMetrics>
#include <QHash>

#include <cstdint>
#include <vector>

class QPainter;

namespace kestran::window {

// How pieces come out in the list's font. Translated pieces are few in kind,
// so each is measured once.
class RowFont {
public:
    explicit RowFont(const QFont& font);

    int width(const notation::Piece& piece) const;
    const QFontMetrics& metrics() const { return m_metrics; }
    const notation::Drawable& drawable() const { return m_drawable; }

private:
    QFontMetrics m_metrics;
    const notation::Drawable& m_drawable;
    mutable QHash<QString, int> m_translated;
};

// Draws one piece in `area`, which is as wide as font.width(piece) says.
void paintPiece(QPainter& painter, QRect area, const notation::Piece& piece);

class RowLayout {
public:
    RowLayout(const terminal::ShownLine& line, const RowFont& font);

    int width() const { return m_width; }
    // Draws what of the row lies in `row` when scrolled `shift` pixels right.
    void paint(QPainter& painter, const QRect& row, int shift, const RowFont& font) const;

private:
    struct Stop {
        std::uint32_t x;
        std::uint32_t at;
        std::int8_t marksOnBase;
        bool noted;
    };

    terminal::ShownLine m_line;
    std::vector<Stop> m_stops;
    int m_width = 0;
};

} // namespace kestran::window
