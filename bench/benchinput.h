#pragma once

class PdfCanvas;

// Sections of --bench-paint for touch routing and erasing; each prints
// key=value lines. The canvas is open and shown.
void benchTouchInput(PdfCanvas &canvas);
// Erases along a path through `strokes` generated strokes on page 0.
void benchErasing(PdfCanvas &canvas, int strokes);
