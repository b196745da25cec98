#pragma once

#include "ui/glyphs.h"

#include <QColor>
#include <QIcon>

// Button icons drawn from the shared glyphs: one pixmap per state so that a
// disabled or checked button shows its glyph in the theme's colour for it.
struct GlyphIconColors
{
    QColor normal;
    QColor disabled;
    QColor checked;  // invalid: as normal
    QColor second;   // the glyph's second part; invalid: as the state colour
};

// side in logical pixels; the pixmaps are drawn at the device pixel ratio.
QIcon glyphIcon(Glyph glyph, int side, double devicePixelRatio, const GlyphIconColors &colors,
                double lineWidth);
// Glyph drawn in a centred square of side inner (at most side), as the
// eraser sizes need.
QIcon glyphIcon(Glyph glyph, int side, int inner, double devicePixelRatio,
                const GlyphIconColors &colors, double lineWidth);
