#include "canvas/pdfcanvas.h"

#include "ui/glyphs.h"
#include "ui/theme.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

// The canvas side of the cutting eraser: erase and palm gestures (one undo
// snapshot at a gesture's first cut), the radius steps and the ring drawn
// over the pages. The cutting itself is InkErase (ink/eraser.cpp).

namespace {

// Square a ring of radius r at c covers, with room for its halo.
QRect ringSquare(QPointF c, double r)
{
    const double m = r + 4;
    return QRectF(c.x() - m, c.y() - m, 2 * m, 2 * m).toAlignedRect();
}

// Writes the pages an erase changed back into the history: unchanged pages
// still share their list with the history, so a data pointer tells them apart.
void storeChangedPages(InkHistory &history, const InkPages &work)
{
    const InkPages before = history.ink(); // a copy: the loop writes to the history
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const auto found = work.constFind(it.key());
        if (found == work.cend())
            history.setPageStrokes(it.key(), {});
        else if (found->constData() != it->constData())
            history.setPageStrokes(it.key(), *found);
    }
}

} // namespace

void PdfCanvas::setEraserRadius(double radius)
{
    if (!std::isfinite(radius))
        return;
    const double snapped = InkErase::snapRadius(radius);
    if (snapped == m_eraserRadius)
        return;
    if (m_hoverShown)
        viewport()->update(ringSquare(m_hoverPoint, m_eraserRadius)
                           | ringSquare(m_hoverPoint, snapped));
    m_eraserRadius = snapped;
    emit eraserChanged();
}

InkErase::EraseTarget PdfCanvas::eraseTarget()
{
    InkErase::EraseTarget target;
    target.pageAt = [this](QPointF p) { return pageAt(p); };
    target.pageRect = [this](int page) { return pageRect(page); };
    target.beforeFirstChange = [this]() { pushUndo(); };
    target.changed = [this](QPointF c, QRectF area) {
        const QPointF old = m_hoverPoint;
        const bool wasShown = m_hoverShown;
        m_hoverPoint = c;
        m_hoverShown = true;
        QRect dirty = area.toAlignedRect();
        if (wasShown)
            dirty |= ringSquare(old, effectiveEraseRadius());
        viewport()->update(dirty);
    };
    target.log = [this](const QString &line) { inputLog(line); };
    return target;
}

bool PdfCanvas::eraseAt(int page, const QPointF &viewportPos, double radius)
{
    InkPages work = m_history.ink();
    InkErase::EraseTarget target = eraseTarget();
    target.ink = &work;
    if (!InkErase::eraseAt(target, &m_eraseGesture, page, viewportPos, radius))
        return false;
    storeChangedPages(m_history, work);
    emit inkChanged(strokeCount());
    return true;
}

bool PdfCanvas::sweepErase(int pageHint, const QPointF &from, const QPointF &to, double radius)
{
    InkPages work = m_history.ink();
    InkErase::EraseTarget target = eraseTarget();
    target.ink = &work;
    if (!InkErase::sweepErase(target, &m_eraseGesture, pageHint, from, to, radius))
        return false;
    storeChangedPages(m_history, work);
    emit inkChanged(strokeCount());
    return true;
}

double PdfCanvas::effectiveEraseRadius() const
{
    return InkErase::effectiveRadius(m_palmActive ? m_palmRadius : 0, m_radiusOverride,
                                     m_eraserRadius);
}

void PdfCanvas::beginErase(const QPointF &viewportPos, int page, double radiusOverride)
{
    m_erasing = true;
    m_eraseGesture = InkErase::EraseGesture();
    m_radiusOverride = radiusOverride > 0 && std::isfinite(radiusOverride) ? radiusOverride : 0;
    m_lastErasePoint = viewportPos;
    m_lastEraseValid = true;
    setHoverPoint(viewportPos, true);
    eraseAt(page, viewportPos, effectiveEraseRadius());
}

void PdfCanvas::continueErase(const QPointF &viewportPos)
{
    if (!m_erasing)
        return;
    if (!m_lastEraseValid) {
        m_lastErasePoint = viewportPos;
        m_lastEraseValid = true;
    }
    setHoverPoint(viewportPos, true);
    sweepErase(pageAt(viewportPos), m_lastErasePoint, viewportPos, effectiveEraseRadius());
    m_lastErasePoint = viewportPos;
}

void PdfCanvas::endErase(EraseEnd how)
{
    if (!m_erasing)
        return;
    m_erasing = false;
    m_radiusOverride = 0;
    m_lastEraseValid = false;
    // Cancelling keeps what was erased; only a normal end reports the step.
    if (m_eraseGesture.changed && how == EraseEnd::Commit) {
        emit inkChanged(strokeCount());
        emit undoStateChanged();
    }
    m_eraseGesture = InkErase::EraseGesture();
    if (how == EraseEnd::Commit)
        viewport()->update();
}

void PdfCanvas::palmEraseAt(const QPointF &centroid, double radius)
{
    if (!std::isfinite(radius) || !std::isfinite(centroid.x()) || !std::isfinite(centroid.y()))
        return;
    if (!m_palmActive) {
        // The touch sequence's own flags survive the dropped stroke, so the
        // following palm frames of this touch continue the gesture.
        cancelStroke();
        endPinch();
        m_palmActive = true;
        m_lastPalmValid = false;
        m_eraseGesture = InkErase::EraseGesture();
        setTouchLockHeld();
    }
    const double previous = m_palmRadius > 0 ? m_palmRadius : m_eraserRadius;
    m_palmRadius = radius;
    if (m_hoverShown)
        viewport()->update(ringSquare(m_hoverPoint, std::max(radius, previous)));
    setHoverPoint(centroid, true);
    sweepErase(pageAt(centroid), m_lastPalmValid ? m_lastPalmPoint : centroid, centroid, radius);
    m_lastPalmPoint = centroid;
    m_lastPalmValid = true;
}

void PdfCanvas::endPalmErase()
{
    if (!m_palmActive)
        return;
    m_palmActive = false;
    m_lastPalmValid = false;
    m_palmRadius = 0;
    if (m_eraseGesture.changed) {
        m_eraseGesture = InkErase::EraseGesture();
        emit inkChanged(strokeCount());
        emit undoStateChanged();
    }
    viewport()->update();
    updateViewportCursor();
}

void PdfCanvas::setPalmEraserEnabled(bool on)
{
    if (on == m_palmEraserEnabled)
        return;
    m_palmEraserEnabled = on;
    if (!on)
        endPalmErase();
    m_palmState.reset();
}

void PdfCanvas::setHoverPoint(const QPointF &pos, bool shown)
{
    const double r = effectiveEraseRadius();
    if (m_hoverShown)
        viewport()->update(ringSquare(m_hoverPoint, r));
    m_hoverPoint = pos;
    m_hoverShown = shown;
    if (shown)
        viewport()->update(ringSquare(pos, r));
    updateViewportCursor();
}

double PdfCanvas::eraserIndicatorRadius() const
{
    if (m_palmActive)
        return m_palmRadius > 0 ? m_palmRadius : m_eraserRadius;
    if (m_tool != InkTool::Eraser && !m_erasing)
        return 0;
    if (m_pinch.active || m_touchLock || m_moveDrag)
        return 0;
    if (m_erasing)
        return effectiveEraseRadius();
    return m_hoverShown ? m_eraserRadius : 0;
}

void PdfCanvas::paintEraserIndicator(QPainter &painter)
{
    const double r = eraserIndicatorRadius();
    if (!(r > 0))
        return;
    const QPointF c = m_hoverPoint;
    const Theme &t = theme();
    const QColor desk = t.desk;
    const bool darkDesk = 0.299 * desk.redF() + 0.587 * desk.greenF() + 0.114 * desk.blueF() < 0.5;
    const bool overDesk = pageAt(c) < 0 && darkDesk;
    const QColor ring = overDesk ? QColor(255, 255, 255, 230) : QColor(31, 36, 43, 224);
    const QColor glyph = overDesk ? QColor(255, 255, 255, 240) : t.accent;
    const int haloAlpha = overDesk ? 170 : 120;
    const bool gesture = m_erasing || m_palmActive;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (gesture) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(t.accentSoft);
        painter.drawEllipse(c, r, r);
    }
    painter.setBrush(Qt::NoBrush);
    QPen halo(QColor(255, 255, 255, haloAlpha), 3.4, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    painter.setPen(halo);
    painter.drawEllipse(c, r, r);
    painter.setPen(QPen(ring, 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawEllipse(c, r, r);
    const double side = std::max(std::min(1.05 * r, 20.0), 10.0);
    const QPointF centre = gesture ? c + QPointF(0, 1) : c;
    paintGlyph(painter, Glyph::Eraser,
               QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side), glyph, 2);
    painter.restore();
}

void PdfCanvas::abandonEraseGestures()
{
    m_erasing = false;
    m_radiusOverride = 0;
    m_lastEraseValid = false;
    m_palmActive = false;
    m_palmRadius = 0;
    m_lastPalmValid = false;
    m_eraseGesture = InkErase::EraseGesture();
}
