#include "ink/inkhistory.h"

void InkHistory::pushUndo()
{
    m_undo.append(m_ink);
    m_undoLayouts.append(m_layout);
    while (m_undo.size() > kMaxUndo) {
        m_undo.removeFirst();
        m_undoLayouts.removeFirst();
    }
    m_redo.clear();
    m_redoLayouts.clear();
}

bool InkHistory::commitStroke(int page, Stroke stroke)
{
    if (page < 0 || stroke.points.isEmpty())
        return false;
    stroke.updateBounds();
    pushUndo();
    m_ink[page].append(stroke);
    return true;
}

void InkHistory::setPageStrokes(int page, const QVector<Stroke> &strokes)
{
    if (strokes.isEmpty())
        m_ink.remove(page);
    else
        m_ink.insert(page, strokes);
}

bool InkHistory::undo()
{
    if (m_undo.isEmpty())
        return false;
    m_redo.append(m_ink);
    m_redoLayouts.append(m_layout);
    m_ink = m_undo.takeLast();
    m_layout = m_undoLayouts.takeLast();
    return true;
}

bool InkHistory::redo()
{
    // Every redo entry came from an undo, so the undo stack cannot outgrow
    // its limit here.
    if (m_redo.isEmpty())
        return false;
    m_undo.append(m_ink);
    m_undoLayouts.append(m_layout);
    m_ink = m_redo.takeLast();
    m_layout = m_redoLayouts.takeLast();
    return true;
}

bool InkHistory::clearInk()
{
    if (m_ink.isEmpty())
        return false;
    pushUndo();
    m_ink.clear();
    return true;
}

bool InkHistory::clearPage(int page)
{
    if (!m_ink.contains(page))
        return false;
    pushUndo();
    m_ink.remove(page);
    return true;
}

void InkHistory::replaceAll(const InkPages &ink)
{
    m_ink.clear();
    for (auto it = ink.cbegin(); it != ink.cend(); ++it) {
        if (!it.value().isEmpty())
            m_ink.insert(it.key(), it.value());
    }
    m_undo.clear();
    m_redo.clear();
    m_undoLayouts.clear();
    m_redoLayouts.clear();
}

void InkHistory::reset()
{
    m_ink.clear();
    m_undo.clear();
    m_redo.clear();
    m_undoLayouts.clear();
    m_redoLayouts.clear();
    m_layout = 0;
}

void InkHistory::changeLayout(int layout, const InkPages &ink)
{
    pushUndo();
    m_layout = layout;
    m_ink.clear();
    for (auto it = ink.cbegin(); it != ink.cend(); ++it) {
        if (!it.value().isEmpty())
            m_ink.insert(it.key(), it.value());
    }
}
