#pragma once

#include "ui/uimetrics.h"
#include "ui/softshadow.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

class PdfCanvas;
class QFrame;
class QLabel;
class QToolButton;
class QVBoxLayout;
class QVariantAnimation;

// Base of the island's pop-up cards. A card is a sibling of the island (a
// child of the canvas viewport) that opens above the button that asked for
// it, grows from its bottom edge, and closes on a press outside itself and
// the island, on Escape, or when the island closes it after a pick.
class PaletteCard : public QWidget
{
    Q_OBJECT
public:
    // anchor is the island: its parent becomes the card's, and presses on it
    // never count as outside.
    PaletteCard(PdfCanvas *canvas, QWidget *anchor, const QString &frameName);
    ~PaletteCard() override;

    // Refreshes from the canvas, places the card above button and opens it.
    void popUp(QWidget *button);
    // Places an open card again at its button (the island moved).
    void place();
    bool isOpening() const;
    QWidget *button() const { return m_button; }
    QSize sizeHint() const override;

    // Rebuilds the style sheet and icons from the current theme.
    virtual void restyle();
    // Re-checks the button that matches the canvas.
    virtual void refresh() = 0;

protected:
    PdfCanvas *canvas() const;
    QWidget *anchor() const { return m_anchor; }
    QFrame *frame() const { return m_frame; }
    QVBoxLayout *content() const { return m_content; }
    const UiMetrics &metrics() const { return m_metrics; }
    QLabel *addCaption(const QString &text);
    // A checkable tool button with its label under the icon.
    QToolButton *makeButton(const QString &label, const QString &toolTip);
    // Card-specific rules appended to the common style sheet.
    virtual QString extraStyleSheet() const { return QString(); }

    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QRect targetRect() const;
    bool isOutside(const QPointF &globalPos) const;
    void layoutFrame();

    QPointer<PdfCanvas> m_canvas;
    QPointer<QWidget> m_anchor;
    QPointer<QWidget> m_button;
    QFrame *m_frame = nullptr;
    QVBoxLayout *m_content = nullptr;
    QVariantAnimation *m_openAnimation = nullptr;
    UiMetrics m_metrics;
    int m_margin = 0;          // room for the frame's shadow
    SoftShadow m_shadow;
    bool m_filtering = false;
};
