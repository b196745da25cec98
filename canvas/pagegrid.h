#pragma once

#include <QWidget>

class PdfCanvas;

// Floating overview of every page of a canvas's document as thumbnails;
// tapping one jumps there and closes the panel. Opened by the ink island's
// page button (anchor), which creates one grid per canvas on first use.
// Thumbnails are rendered on the canvas's worker, never on this thread.
class PageGrid : public QWidget
{
    Q_OBJECT
public:
    // Parent is the canvas's viewport; presses on anchor do not count as
    // outside presses (the anchor toggles the grid itself).
    PageGrid(PdfCanvas *canvas, QWidget *anchor);
    ~PageGrid() override;

    void openGrid();
};
