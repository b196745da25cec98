#pragma once

#include "ui/uimetrics.h"
#include "ui/softshadow.h"

#include <QColor>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QWidget>

class ClearPalette;
class EraserPalette;
class PageGrid;
class PaletteCard;
class PdfCanvas;
class PenPalette;
class QAbstractButton;
class QButtonGroup;
class QFrame;
class QGraphicsOpacityEffect;
class QHBoxLayout;
class QPropertyAnimation;
class QToolButton;
class QVariantAnimation;
class ToolIndicator;

// The floating tool island of one canvas: a rounded chip of buttons over the
// bottom of the viewport. It picks the ink tool, opens the pen, eraser and
// clear cards and the page overview, forwards undo, redo and fit width to the
// canvas and save, settings and full screen to the window, folds into a short
// drawer under a fixed right edge, can be dragged anywhere inside the
// viewport (by its buttons too) and dims when idle.
//
// Members are split over island/inktoolbar.cpp (buttons and style),
// island/inktoolbar_tools.cpp (tools, cards, canvas sync and fade),
// island/inktoolbar_drag.cpp (placement and dragging) and
// island/inktoolbar_fold.cpp (the drawer).
class InkToolbar : public QWidget
{
    Q_OBJECT
public:
    enum class Button {
        Pen, Eraser, Move, Undo, Redo, Clear, FitWidth, Page, Save, SaveAs, Settings, Fullscreen,
        Collapse
    };
    Q_ENUM(Button)
    // 0 icons only, 1 label under the icon.
    enum Style { Compact = 0, Text = 1 };

    // A child of the canvas's viewport.
    explicit InkToolbar(PdfCanvas *canvas);
    ~InkToolbar() override;

    void setToolbarStyle(int style);
    int toolbarStyle() const { return m_style; }
    // Dims to 40 % (or back) over 250 ms; a faded island still takes input.
    void setFaded(bool faded);
    bool isFaded() const { return m_faded; }
    // The island's current opacity (1 while the fade effect is off).
    double opacity() const;
    // A card or the page overview is open.
    bool hasOpenOverlay() const;
    bool isCollapsed() const { return m_collapsed; }
    bool isFolding() const;
    bool isFullscreenActive() const { return m_fullscreen; }
    // Re-reads tool, undo depths, page, pen and eraser from the canvas.
    void syncFromCanvas();
    // Moves by delta (host pixels), held inside the host; marks the island
    // as placed by the user.
    void moveBy(const QPoint &delta);
    // Home placement: centred at the bottom until the user drags it, then
    // where it was left, always inside the host.
    void reposition();
    // Style sheets, icons and shadows from the current theme.
    void restyle();
    bool isUserPlaced() const { return m_userPlaced; }
    // Host x of the island's right edge, held while folding.
    int pinnedRight() const { return m_pinnedRight; }
    const UiMetrics &metrics() const { return m_metrics; }
    // Whether hostPos (host pixels) lies on the visible chip, not in the
    // shadow margin around it, which belongs to the page.
    bool chipContains(const QPoint &hostPos) const;

    QToolButton *button(Button which) const;
    ToolIndicator *toolIndicator() const { return m_indicator; }
    // The cards are built together on first use.
    PenPalette *penPalette();
    EraserPalette *eraserPalette();
    ClearPalette *clearPalette();
    // Created by the first use of the page button.
    PageGrid *pageGrid() const { return m_pageGrid; }

public slots:
    void setCollapsed(bool collapsed);
    void toggleCollapsed();
    void showPenPalette();
    void showEraserPalette();
    void showClearPalette();
    void setFullscreenActive(bool on);

signals:
    // After every fold (true) or unfold (false).
    void hiddenChanged(bool hidden);
    void settingsRequested();
    void saveRequested();
    void saveAsRequested();
    void fullscreenRequested();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // ---- Buttons and style (island/inktoolbar.cpp) ----
    QToolButton *addButton(Button which, const QString &label, const QString &toolTip);
    QFrame *addSeparator();
    void applyStyleSheet();
    void paintIcons();
    void paintIcon(Button which);
    void applyButtonStyle();

    // ---- Tools, cards, sync and fade (island/inktoolbar_tools.cpp) ----
    void onToolButton(int tool);
    void ensureCards();
    void toggleCard(PaletteCard *card, QWidget *button);
    void hideCards();
    void hidePageGrid();
    void onPageButton();
    void forward(void (InkToolbar::*request)());
    void syncIndicator(QAbstractButton *checked);
    void setIndicatorTarget(const QRect &geometry, bool animate);
    void placeCards();
    void finishFade();

    // ---- Placement and dragging (island/inktoolbar_drag.cpp) ----
    void placeAt(const QPoint &pos);
    void holdPlace();
    void fitToContents();
    int bottomGap() const;
    bool buttonEvent(QAbstractButton *button, QEvent *event);
    // A press on the chip's background, or on a disabled button, drags at once.
    bool backgroundEvent(QWidget *target, QEvent *event);
    void beginDrag(const QPoint &grabOffset, QAbstractButton *button);
    void dragTo(const QPointF &globalPos);
    void endDrag();

    // ---- Folding (island/inktoolbar_fold.cpp) ----
    int measureWidth(bool toolsShown);
    void applyFoldWidth(int width);
    void finishFold();
    void finishRunningFold();

    QPointer<PdfCanvas> m_canvas;
    UiMetrics m_metrics;
    int m_style = Compact;
    QHBoxLayout *m_layout = nullptr;      // island: margins for the shadow
    QFrame *m_chip = nullptr;
    QHBoxLayout *m_chipLayout = nullptr;
    QWidget *m_toolArea = nullptr;        // everything but the chevron
    QList<QToolButton *> m_buttons;       // by Button
    QList<QFrame *> m_separators;
    QButtonGroup *m_toolGroup = nullptr;
    ToolIndicator *m_indicator = nullptr;
    QVariantAnimation *m_indicatorAnimation = nullptr;
    QPointer<QAbstractButton> m_indicatorButton;
    QColor m_penGlyphColor;
    SoftShadow m_shadow;

    PenPalette *m_penCard = nullptr;
    EraserPalette *m_eraserCard = nullptr;
    ClearPalette *m_clearCard = nullptr;
    PageGrid *m_pageGrid = nullptr;

    // Placement.
    bool m_userPlaced = false;
    QPoint m_storedPos;                   // host; after the last drag
    QPoint m_placedPos;                   // host; where the island belongs
    int m_pinnedRight = 0;

    // Dragging.
    bool m_dragArmed = false;
    bool m_dragging = false;
    QPoint m_pressPoint;                  // island
    QPoint m_grabOffset;                  // island
    QPointer<QAbstractButton> m_dragButton;

    // Folding.
    bool m_collapsed = false;
    int m_expandedWidth = 0;
    int m_collapsedWidth = 0;
    QVariantAnimation *m_foldAnimation = nullptr;
    bool m_folding = false;

    // Fade and full screen.
    bool m_faded = false;
    QGraphicsOpacityEffect *m_opacity = nullptr;
    QPropertyAnimation *m_fadeAnimation = nullptr;
    bool m_fullscreen = false;
};
