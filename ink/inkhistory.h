#pragma once

#include "ink/stroke.h"

#include <QList>

// The committed ink of one document with its snapshot undo and redo.
//
// A snapshot is the whole InkPages value as it was before a change. Because
// the map and its page lists are implicitly shared, taking one costs a
// reference; the first later write to a page detaches only that page's list
// (and the map's nodes), never the points of untouched strokes.
//
// This class emits nothing: every mutator reports whether it changed the ink
// or the stacks, and the canvas turns that into its change signals.
class InkHistory
{
public:
    static constexpr int kMaxUndo = 100;

    const InkPages &ink() const { return m_ink; }
    int strokeCount() const { return ::strokeCount(m_ink); }
    int undoDepth() const { return int(m_undo.size()); }
    int redoDepth() const { return int(m_redo.size()); }
    // Oldest first; for inspection (tests, diagnostics).
    const QList<InkPages> &undoSnapshots() const { return m_undo; }
    const QList<InkPages> &redoSnapshots() const { return m_redo; }

    // The strokes of one page (empty when the page has no entry).
    QVector<Stroke> pageStrokes(int page) const { return m_ink.value(page); }

    // Snapshot the current ink onto the undo stack (dropping the oldest beyond
    // kMaxUndo) and forget the redo stack.
    void pushUndo();

    // One undoable step: snapshot, then append the stroke to its page. The
    // stroke's bounds are recomputed. A stroke without points or a negative
    // page is refused (returns false, nothing changes).
    bool commitStroke(int page, Stroke stroke);

    // Replaces one page's list without taking a snapshot (erase gestures
    // snapshot once at their first change). An empty list removes the entry.
    void setPageStrokes(int page, const QVector<Stroke> &strokes);

    // Step back or forward; false when the stack was empty (nothing changed).
    bool undo();
    bool redo();

    // Removes all ink as one undoable step. Returns whether there was ink
    // (and so whether a snapshot was taken); with no ink nothing changes.
    bool clearInk();
    // Removes one page's ink as one undoable step; false when the page had
    // no entry (nothing changes).
    bool clearPage(int page);

    // Replaces all ink (import) and empties both stacks. Empty page lists
    // are not stored.
    void replaceAll(const InkPages &ink);
    // Empties ink and both stacks (document opened or closed).
    void reset();

    // Which page layout the ink belongs to (0: the document as opened).
    // Every snapshot keeps its layout, so undoing past a page insertion
    // hands back the layout before it along with that ink.
    int layout() const { return m_layout; }
    // One undoable step: the pages were rearranged into layout, and ink is
    // the same ink on the new pages.
    void changeLayout(int layout, const InkPages &ink);

private:
    InkPages m_ink;
    QList<InkPages> m_undo;
    QList<InkPages> m_redo;
    int m_layout = 0;
    QList<int> m_undoLayouts;
    QList<int> m_redoLayouts;
};
