#include "canvas/pdfcanvas.h"

#include "ink/annotationjson.h"

#include <QtGlobal>

// The ink model half of the canvas: tool and pen settings, snapshot undo,
// clears and the annotation object. Every change is one undoable step except
// import and document open/close, which reset the history.

void PdfCanvas::setTool(InkTool tool)
{
    if (tool == m_tool)
        return;
    m_tool = tool;
    // A pen still counted down is gone: its stroke is kept and its hold on
    // the canvas ends (a lost release must not leave touch and mouse dead).
    endPenHold(QStringLiteral("tool changed: pen hold ended"));
    cancelStroke();
    viewport()->update();
    emit toolChanged();
}

void PdfCanvas::setPenColor(const QColor &color)
{
    if (!color.isValid() || color == m_penColor)
        return;
    m_penColor = color;
    emit penChanged();
}

void PdfCanvas::setPenWidth(double width)
{
    if (qIsNaN(width))
        return;
    const double clamped = qBound(kMinPenWidth, width, kMaxPenWidth);
    if (clamped == m_penWidth)
        return;
    m_penWidth = clamped;
    emit penChanged();
}

void PdfCanvas::pushUndo()
{
    m_history.pushUndo();
    emit undoStateChanged();
}

void PdfCanvas::undo()
{
    if (m_history.undoDepth() == 0)
        return;
    cancelStroke();
    m_history.undo();
    followInkLayout(true);
    viewport()->update();
    emit inkChanged(strokeCount());
    emit undoStateChanged();
}

void PdfCanvas::redo()
{
    if (m_history.redoDepth() == 0)
        return;
    cancelStroke();
    m_history.redo();
    followInkLayout(false);
    viewport()->update();
    emit inkChanged(strokeCount());
    emit undoStateChanged();
}

void PdfCanvas::clearInk()
{
    cancelStroke();
    const bool hadInk = m_history.clearInk();
    viewport()->update();
    if (hadInk)
        emit undoStateChanged();
    emit inkChanged(strokeCount());
}

void PdfCanvas::clearPageInk()
{
    cancelStroke();
    if (!m_history.clearPage(currentPage()))
        return;
    viewport()->update();
    emit undoStateChanged();
    emit inkChanged(strokeCount());
}

QJsonObject PdfCanvas::exportAnnotations() const
{
    return annotationsFromInk(m_history.ink());
}

void PdfCanvas::importAnnotations(const QJsonObject &annotations)
{
    cancelStroke();
    m_history.replaceAll(inkFromAnnotations(annotations));
    viewport()->update();
    emit inkChanged(strokeCount());
    emit undoStateChanged();
}
