#include "canvas/pdfcanvas.h"

#include "ui/theme.h"
#include "ink/strokegeometry.h"
#include "system/diaglog.h"

#include <QTimer>

// The live stroke: begin, extend, commit. Samples arrive in viewport pixels
// and are stored as page fractions; each sample repaints only the small
// rectangle around the newest points.

void PdfCanvas::InkingGateHold::enter()
{
    if (held)
        return;
    held = true;
    inkingGateEnter();
}

void PdfCanvas::InkingGateHold::leave()
{
    if (!held)
        return;
    held = false;
    inkingGateLeave();
}

void PdfCanvas::repaintInk(const QRect &dirty)
{
    m_lastInkDirtyRect = dirty;
    if (!dirty.isNull())
        viewport()->update(dirty);
}

void PdfCanvas::beginStroke(const QPointF &viewportPos, EraseRequest erase, double widthFactor,
                            double eraseRadius)
{
    if (m_tool == InkTool::Move && erase != EraseRequest::Force)
        return;
    if (m_zoomSettleTimer)
        m_zoomSettleTimer->stop();
    const int page = pageAt(viewportPos);
    if (page < 0)
        return;
    if (m_tool == InkTool::Eraser || erase == EraseRequest::Force) {
        beginErase(viewportPos, page, eraseRadius);
        return;
    }

    if (!m_drawing) {
        m_drawing = true;
        m_inkingGate.enter();
    }
    m_livePage = page;
    m_liveStroke = Stroke();
    m_liveStroke.color = m_penColor;
    const QRectF sheet = pageRect(page);
    m_liveStroke.width = strokeWidthFraction(m_penWidth, sheet.width());

    const int added = appendSample(m_liveStroke, pageFraction(page, viewportPos), widthFactor);
    if (added > 0) {
        const double pad = strokeRepaintPad(sheet.width() * m_liveStroke.width);
        repaintInk(strokeDirtyRect(sheet, m_liveStroke.points, int(m_liveStroke.points.size()), 0,
                                   pad));
    }
}

void PdfCanvas::addStrokePoint(const QPointF &viewportPos, double widthFactor)
{
    if (m_erasing) {
        continueErase(viewportPos);
        return;
    }
    if (!m_drawing || m_livePage < 0)
        return;
    const int before = int(m_liveStroke.points.size());
    const int added = appendSample(m_liveStroke, pageFraction(m_livePage, viewportPos),
                                   widthFactor);
    if (added == 0)
        return;
    const QRectF sheet = pageRect(m_livePage);
    const double pad = strokeRepaintPad(sheet.width() * m_liveStroke.width);
    repaintInk(strokeDirtyRect(sheet, m_liveStroke.points, int(m_liveStroke.points.size()),
                               before - 2, pad));
}

void PdfCanvas::commitStroke()
{
    if (m_zoomInFlight && m_zoomSettleTimer)
        m_zoomSettleTimer->start();
    if (m_erasing) {
        endErase(EraseEnd::Commit);
        return;
    }
    if (!m_drawing)
        return;
    m_drawing = false;
    m_inkingGate.leave();

    // The committed stroke paints exactly like the live one (a dot keeps all
    // its points), so only the stroke's own area needs a repaint: a full
    // viewport repaint would redraw every stroke on a heavily inked page
    // after each pen lift.
    QRect strokeArea;
    if (!m_liveStroke.points.isEmpty() && m_livePage >= 0) {
        const QRectF sheet = pageRect(m_livePage);
        strokeArea = strokeDirtyRect(sheet, m_liveStroke.points, int(m_liveStroke.points.size()), 0,
                                     strokeRepaintPad(sheet.width() * m_liveStroke.width));
    }
    if (!m_liveStroke.points.isEmpty() && m_livePage >= 0) {
        const StrokeJudgement judged =
                judgeStroke(m_liveStroke.points, pageRect(m_livePage).width(), m_strokeOrigin);
        if (!judged.logText.isEmpty())
            logInfo(QStringLiteral("input"), judged.logText);
        if (judged.verdict != StrokeVerdict::Discard) {
            // commitStroke snapshots first, so the step is undoable on its own.
            if (m_history.commitStroke(m_livePage, m_liveStroke)) {
                emit undoStateChanged();
                emit inkChanged(strokeCount());
            }
        }
    }
    m_liveStroke = Stroke();
    m_livePage = -1;
    m_lastInkDirtyRect = QRect();
    if (strokeArea.isNull())
        viewport()->update();
    else
        viewport()->update(strokeArea);
}
