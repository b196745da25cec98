#pragma once

#include "island/palettecard.h"

#include <QColor>
#include <QList>

class ColorSwatch;
class QButtonGroup;
class QToolButton;

// Pen colour and width.
class PenPalette : public PaletteCard
{
    Q_OBJECT
public:
    PenPalette(PdfCanvas *canvas, QWidget *anchor);

    void restyle() override;
    void refresh() override;
    const QList<ColorSwatch *> &swatches() const { return m_swatches; }
    const QList<QToolButton *> &widthButtons() const { return m_widthButtons; }

signals:
    void colorPicked(QColor color);
    void widthPicked(double width);

private:
    void paintWidthIcons();

    QList<ColorSwatch *> m_swatches;
    QList<QToolButton *> m_widthButtons;
    QButtonGroup *m_colorGroup = nullptr;
    QButtonGroup *m_widthGroup = nullptr;
    QColor m_iconColor;
};

// Eraser size, one of the canvas's eraser steps.
class EraserPalette : public PaletteCard
{
    Q_OBJECT
public:
    EraserPalette(PdfCanvas *canvas, QWidget *anchor);

    void restyle() override;
    void refresh() override;
    const QList<QToolButton *> &sizeButtons() const { return m_sizeButtons; }
    // "小", "中" or "大" for the step nearest radius.
    static QString sizeName(double radius);

signals:
    void sizePicked(double radiusPx);

private:
    QList<QToolButton *> m_sizeButtons;
    QButtonGroup *m_group = nullptr;
};

// Clearing this page or the whole document.
class ClearPalette : public PaletteCard
{
    Q_OBJECT
public:
    enum Scope { Page = 0, Document = 1 };

    ClearPalette(PdfCanvas *canvas, QWidget *anchor);

    void restyle() override;
    void refresh() override;
    QToolButton *scopeButton(Scope scope) const { return m_buttons.value(int(scope)); }

signals:
    void scopePicked(int scope);

private:
    QList<QToolButton *> m_buttons;
};
