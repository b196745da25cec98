#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// The program's simple line glyphs, drawn on a 24-unit design grid scaled to
// the smaller side of the target rectangle and centred in it. Numbers are
// stable (0..32); widgets add their glyphs here as they need them.
enum class Glyph {
    Document = 0,  // a sheet with a folded corner and two text lines
    PenStroke = 1, // a curved pen stroke
    Eraser = 2,
    PageGrid = 3,
    // The ink island and its cards.
    Pen = 4,             // a pencil; second colours the line it draws
    Move = 5,            // four arrows
    Undo = 6,
    Redo = 7,
    Clear = 8,           // a waste bin
    FitWidth = 9,        // arrows spreading between two bars
    Save = 10,           // a floppy disk
    SaveAs = 11,         // a floppy disk with a pencil
    Settings = 12,       // a gear
    Fullscreen = 13,     // corners pointing out
    ExitFullscreen = 14, // corners pointing in
    ChevronRight = 15,
    ChevronLeft = 16,
    Dot = 17,            // a circle filling the box; second fills it
    ClearPage = 18,      // a sheet crossed out
    ClearAll = 19,       // a stack of sheets crossed out
};

constexpr int kGlyphCount = 33;

// Draws glyph as line art with the given colour and line width (in target
// pixels). second, where a glyph has a second part, colours it; an invalid
// second colour uses color. Unknown glyph numbers draw nothing.
void paintGlyph(QPainter &painter, Glyph glyph, const QRectF &rect, const QColor &color,
                double lineWidth, const QColor &second = QColor());
void paintGlyph(QPainter &painter, int glyph, const QRectF &rect, const QColor &color,
                double lineWidth, const QColor &second = QColor());

// The page-grid glyph in three colours: the sheets in color, the current
// (first) sheet in current, the text lines on the sheets in lines. Invalid
// colours fall back to color, which is what paintGlyph draws.
void paintPageGridGlyph(QPainter &painter, const QRectF &rect, const QColor &color,
                        double lineWidth, const QColor &current = QColor(),
                        const QColor &lines = QColor());
