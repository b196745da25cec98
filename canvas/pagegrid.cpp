#include "canvas/pagegrid.h"

#include "canvas/pdfcanvas.h"

PageGrid::PageGrid(PdfCanvas *canvas, QWidget *anchor)
    : QWidget(canvas->viewport())
{
    Q_UNUSED(anchor);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

PageGrid::~PageGrid() = default;

void PageGrid::openGrid()
{
    show();
    raise();
}
