#pragma once

#include <QJsonObject>

class PdfCanvas;

// count short scribbles of 60 points spread over page 1, reproducible per seed.
QJsonObject generatedInk(int count, quint32 seed = 20240607);

// Sections of --bench-paint for touch routing and erasing; each prints
// key=value lines. The canvas is open and shown.
void benchTouchInput(PdfCanvas &canvas);
// Erases along a path through `strokes` generated strokes on page 0.
void benchErasing(PdfCanvas &canvas, int strokes);
