#include "canvas/pagegrid.h"

#include "canvas/pdfcanvas.h"

#include <QLabel>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

// Opening the panel, placing its cells in 2 to 8 columns, showing them as
// they come near the view, and keeping the current page in sight.

void PageGrid::openGrid()
{
    if (!m_canvas || m_canvas->pageCount() < 1)
        return;
    // A grid created after its document was opened has seen no pageChanged.
    onPageChanged(m_canvas->currentPage(), m_canvas->pageCount());
    restyle();
    const int count = m_canvas->pageCount();
    if (!m_aspectTaken) {
        // Only a size already read counts: an estimate gives way to the real
        // shape at the next opening.
        const int page = std::clamp(m_canvas->currentPage(), 0, count - 1);
        const QSizeF pt = m_canvas->heldPageSizePt(page);
        if (!pt.isEmpty()) {
            m_aspect = pt.height() / pt.width();
            m_aspectTaken = m_canvas->isPageSizeRead(page);
        }
    }
    const QSize size = computeCellSize();
    if (size != m_cellSize) {
        m_cellSize = size;
        for (PageCell *cell : std::as_const(m_cells))
            cell->setFixedSize(size);
        m_columns = 0;
    }
    layoutGrid();
    show();
    raise();
    syncCurrentPage(Centre::Yes);
}

void PageGrid::layoutGrid()
{
    QWidget *parent = parentWidget();
    if (!parent)
        return;
    const Metrics &m = m_metrics;
    const int s = m.spacing;
    const int cellW = m_cellSize.width();
    const int cellH = m_cellSize.height();
    const int n = int(m_cells.size());
    const int barWidth = std::max(m_scroll->verticalScrollBar()->sizeHint().width(), 12);
    const int available = parent->width() - barWidth - 2 * m.outerMargin - 2 * m.cardMargin;

    constexpr int kMinColumns = 2;
    constexpr int kMaxColumns = 8;
    int columns = std::clamp((s + std::max(cellW, available)) / (cellW + s), kMinColumns,
                             kMaxColumns);
    if (n > 0)
        columns = std::min(columns, n);
    const int rows = n > 0 ? (n + columns - 1) / columns : 1;

    const int headerHeight = 2 * (s + m.cardMargin)
            + std::max(m.glyphSize, m_title->sizeHint().height()) + m.dividerHeight;
    const int contentHeight = rows * cellH + (rows - 1) * s;
    constexpr int kMinAreaHeight = 72;
    const int room = int(std::max(0.55 * parent->height(), 150.0)) - 2 * m.outerMargin
            - headerHeight;
    const int areaHeight = std::max(std::min(contentHeight, room), kMinAreaHeight);
    // The scroll bar takes its width from the viewport; without this room
    // it would cover the last column.
    const bool barShown = contentHeight > areaHeight;
    m_scroll->setFixedWidth(columns * cellW + (columns - 1) * s + (barShown ? barWidth : 0));
    m_scroll->setFixedHeight(areaHeight);

    if (columns != m_columns) {
        m_columns = columns;
        m_container->setFixedSize(std::max(columns * (cellW + s) - s, 0),
                                  std::max(rows * (cellH + s) - s, 0));
        for (int i = 0; i < n; ++i)
            m_cells.at(i)->move((cellW + s) * (i % columns), (cellH + s) * (i / columns));
    }
    // A taller view with the same columns shows rows that were never shown.
    showCellsNearView();

    // The card's hint is cached by the outer layout; both must see the new
    // scroll area size before the panel takes its size from them.
    m_card->layout()->invalidate();
    m_card->updateGeometry();
    layout()->activate();
    resize(layout()->sizeHint());
    holdPlace();
    raise();
}

void PageGrid::holdPlace()
{
    // Scrolling the canvas moves the viewport's children with the pages;
    // the panel stays centred over them.
    if (QWidget *parent = parentWidget())
        move(std::max((parent->width() - width()) / 2, 0),
             std::max((parent->height() - height()) / 2, 0));
}

void PageGrid::showCellsNearView()
{
    if (m_columns < 1 || m_cells.isEmpty())
        return;
    const int rowHeight = m_cellSize.height() + m_metrics.spacing;
    const int value = m_scroll->verticalScrollBar()->value();
    const int firstRow = std::max(value / rowHeight - 1, 0);
    const int end = std::min(int(m_cells.size()),
                             m_columns * ((value + m_scroll->height()) / rowHeight + 2));
    for (int i = m_columns * firstRow; i < end; ++i) {
        if (m_cells.at(i)->isHidden())
            m_cells.at(i)->show();
    }
}

void PageGrid::syncCurrentPage(Centre centre)
{
    if (!m_canvas)
        return;
    const int page = m_canvas->currentPage();
    if (page != m_currentPage) {
        const int previous = m_currentPage;
        m_currentPage = page;
        updateCell(previous);
        updateCell(page);
    }
    PageCell *current = m_cells.value(m_currentPage);
    if (centre == Centre::No || !isVisible() || !current)
        return;
    QScrollBar *bar = m_scroll->verticalScrollBar();
    const int middle = current->geometry().center().y() - m_scroll->viewport()->height() / 2;
    bar->setValue(std::clamp(middle, bar->minimum(), bar->maximum()));
}
