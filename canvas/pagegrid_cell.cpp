#include "canvas/pagegrid.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"
#include "ui/glyphs.h"
#include "canvas/pdfcanvas.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

// One cell of the grid: painting from the grid's metrics and cache, and the
// drag that scrolls the grid instead of clicking.

PageGrid::PageCell::PageCell(PageGrid *grid, int page, QWidget *parent)
    : QAbstractButton(parent)
    , m_grid(grid)
    , m_page(page)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setToolTip(QStringLiteral("第 %1 页").arg(page + 1));
    hide();
}

void PageGrid::PageCell::paintEvent(QPaintEvent *)
{
    const Theme &t = theme();
    const Metrics &m = m_grid->m_metrics;
    const bool current = m_page == m_grid->m_currentPage;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const QRectF cellRect = rect();
    if (!current && (isDown() || underMouse())) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(isDown() ? t.pressed : t.hover);
        painter.drawRoundedRect(cellRect.adjusted(0.5, 0.5, -0.5, -0.5), m.hoverRadius,
                                m.hoverRadius);
    }

    const QRectF thumb = cellRect.adjusted(m.inset, m.inset, -m.inset,
                                           -(m.labelGap + m.labelHeight + m.inset));
    QPainterPath frame;
    frame.addRoundedRect(thumb, m.thumbRadius, m.thumbRadius);
    if (current) {
        painter.setPen(QPen(t.accent, m.frameWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.setBrush(t.accentSoft);
    } else {
        painter.setPen(QPen(t.paperEdge, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.setBrush(t.fillStrong);
    }
    painter.drawPath(frame);

    painter.save();
    painter.setClipPath(frame);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    paintContent(painter, thumb);
    painter.restore();

    paintLabel(painter, thumb, current);
}

void PageGrid::PageCell::paintContent(QPainter &painter, const QRectF &thumb)
{
    const Theme &t = theme();
    if (const QImage *image = m_grid->thumbnailForPaint(m_page)) {
        const QSizeF logical = image->deviceIndependentSize();
        const QSizeF fitted = logical.scaled(thumb.size(), Qt::KeepAspectRatio);
        QRectF target(QPointF(0, 0), fitted);
        target.moveCenter(thumb.center());
        painter.drawImage(target, *image);
        return;
    }
    if (m_grid->m_failed.contains(m_page)) {
        const double side = std::max(int(0.42 * thumb.width()), 12);
        QRectF square(0, 0, side, side);
        square.moveCenter(thumb.center());
        paintGlyph(painter, Glyph::PageGrid, square, t.textDisabled, 2);
        return;
    }
    // Until the thumbnail arrives: a blank sheet of the page's shape, as far
    // as the canvas knows it (reading it here would stall the thread).
    QSizeF sheet = m_grid->m_canvas ? m_grid->m_canvas->heldPageSizePt(m_page) : QSizeF();
    if (sheet.isEmpty())
        sheet = thumb.size();
    QRectF target(QPointF(0, 0), sheet.scaled(thumb.size(), Qt::KeepAspectRatio));
    target.moveCenter(thumb.center());
    painter.setPen(Qt::NoPen);
    painter.setBrush(t.paper);
    painter.drawRect(target);
}

void PageGrid::PageCell::paintLabel(QPainter &painter, const QRectF &thumb, bool current)
{
    const Theme &t = theme();
    const Metrics &m = m_grid->m_metrics;
    const QFont font = scaledFont(m_grid->m_gridFont, 0.86, current ? 700 : 500);
    const QString number = QString::number(m_page + 1);
    const QRectF label(thumb.left(), thumb.bottom() + m.labelGap, thumb.width(), m.labelHeight);
    painter.setFont(font);
    if (current) {
        const double advance = QFontMetricsF(font).horizontalAdvance(number);
        const double width = std::min(thumb.width(), advance + 2 * m.pillPadding);
        QRectF pill(0, 0, width, m.labelHeight);
        pill.moveCenter(label.center());
        painter.setPen(Qt::NoPen);
        painter.setBrush(t.accent);
        painter.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
        painter.setPen(t.onAccent);
    } else {
        painter.setPen(t.textMuted);
    }
    painter.drawText(label, Qt::AlignCenter, number);
}

void PageGrid::PageCell::mousePressEvent(QMouseEvent *event)
{
    m_pressGlobal = event->globalPosition();
    m_pressValue = m_grid->m_scroll->verticalScrollBar()->value();
    m_dragging = false;
    QAbstractButton::mousePressEvent(event);
}

void PageGrid::PageCell::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        const double dy = event->globalPosition().y() - m_pressGlobal.y();
        if (!m_dragging && std::abs(dy) > QApplication::startDragDistance()) {
            m_dragging = true;
            setDown(false);
        }
        if (m_dragging) {
            m_grid->m_scroll->verticalScrollBar()->setValue(m_pressValue - int(std::lround(dy)));
            event->accept();
            return;
        }
    }
    QAbstractButton::mouseMoveEvent(event);
}

void PageGrid::PageCell::mouseReleaseEvent(QMouseEvent *event)
{
    const bool dragged = m_dragging;
    m_dragging = false;
    // The button is no longer down after a drag, so this only ends the press.
    QAbstractButton::mouseReleaseEvent(event);
    if (dragged)
        event->accept(); // the drag scrolled; lifting the finger must not also jump

}

void PageGrid::PageCell::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    update();
}

void PageGrid::PageCell::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    update();
}
