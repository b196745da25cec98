#include "island/palettecards.h"

#include "ui/theme.h"
#include "canvas/pdfcanvas.h"
#include "island/colorswatch.h"
#include "ink/eraser.h"
#include "ui/glyphicon.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <iterator>

namespace {

struct NamedColor
{
    const char *name;
    int r, g, b;
};

// The first is the canvas's default pen colour.
constexpr NamedColor kPenColors[] = {
    { "红", 211, 47, 47 },  { "蓝", 25, 118, 210 }, { "黑", 33, 33, 33 },
    { "绿", 56, 142, 60 },  { "橙", 245, 124, 0 },  { "黄", 251, 192, 45 },
};

struct NamedWidth
{
    const char *name;
    double width;
};

constexpr NamedWidth kPenWidths[] = { { "细", 2 }, { "中", 4 }, { "粗", 8 } };
constexpr const char *kEraserNames[] = { "小", "中", "大" };
static_assert(std::size(kEraserNames) == std::size(InkErase::kEraserSteps));

constexpr int kSwatchSpacing = 8;

QHBoxLayout *addRow(QVBoxLayout *content, int spacing)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    content->addLayout(row);
    return row;
}

double glyphLine(int iconSize)
{
    return std::max(1.5, iconSize / 12.0);
}

} // namespace

// ---- PenPalette ----

PenPalette::PenPalette(PdfCanvas *canvas, QWidget *anchor)
    : PaletteCard(canvas, anchor, QStringLiteral("penPalette"))
{
    const UiMetrics &m = metrics();
    addCaption(QStringLiteral("颜色"));
    QHBoxLayout *colors = addRow(content(), kSwatchSpacing);
    m_colorGroup = new QButtonGroup(this);
    for (const NamedColor &c : kPenColors) {
        auto *swatch = new ColorSwatch(QColor(c.r, c.g, c.b), QString::fromUtf8(c.name), frame());
        swatch->setSide(m.touchTarget);
        m_colorGroup->addButton(swatch);
        colors->addWidget(swatch);
        m_swatches.append(swatch);
        connect(swatch, &QAbstractButton::clicked, this,
                [this, swatch]() { emit colorPicked(swatch->color()); });
    }
    colors->addStretch();
    content()->addSpacing(m.gapXs);
    addCaption(QStringLiteral("粗细"));
    QHBoxLayout *widths = addRow(content(), m.gapXs);
    m_widthGroup = new QButtonGroup(this);
    for (const NamedWidth &w : kPenWidths) {
        const QString name = QString::fromUtf8(w.name);
        QToolButton *button =
                makeButton(name, QStringLiteral("%1 · %2 px").arg(name).arg(w.width));
        m_widthGroup->addButton(button);
        widths->addWidget(button);
        m_widthButtons.append(button);
        const double width = w.width;
        connect(button, &QToolButton::clicked, this, [this, width]() { emit widthPicked(width); });
    }
    widths->addStretch();
    restyle();
}

void PenPalette::paintWidthIcons()
{
    const Theme &t = theme();
    const int side = metrics().iconSize;
    for (int i = 0; i < m_widthButtons.size(); ++i) {
        // The stroke glyph drawn about as thick as the width it picks.
        const double line = std::max(1.2, kPenWidths[i].width * side / 24.0);
        m_widthButtons.at(i)->setIcon(glyphIcon(Glyph::PenStroke, side, devicePixelRatioF(),
                                                { m_iconColor, t.textDisabled, {}, {} }, line));
    }
}

void PenPalette::restyle()
{
    PaletteCard::restyle();
    m_iconColor = canvas() ? canvas()->penColor() : theme().text;
    paintWidthIcons();
}

void PenPalette::refresh()
{
    if (!canvas())
        return;
    const QColor pen = canvas()->penColor();
    // An exclusive group cannot uncheck its last button; a colour from a
    // loaded document may match no swatch.
    m_colorGroup->setExclusive(false);
    for (ColorSwatch *swatch : std::as_const(m_swatches))
        swatch->setChecked(swatch->color().rgb() == pen.rgb());
    m_colorGroup->setExclusive(true);
    m_widthGroup->setExclusive(false);
    for (int i = 0; i < m_widthButtons.size(); ++i)
        m_widthButtons.at(i)->setChecked(kPenWidths[i].width == canvas()->penWidth());
    m_widthGroup->setExclusive(true);
    if (pen != m_iconColor) {
        m_iconColor = pen;
        paintWidthIcons();
    }
}

// ---- EraserPalette ----

EraserPalette::EraserPalette(PdfCanvas *canvas, QWidget *anchor)
    : PaletteCard(canvas, anchor, QStringLiteral("eraserPalette"))
{
    addCaption(QStringLiteral("大小"));
    QHBoxLayout *row = addRow(content(), metrics().gapXs);
    m_group = new QButtonGroup(this);
    for (int i = 0; i < int(std::size(InkErase::kEraserSteps)); ++i) {
        const double radius = InkErase::kEraserSteps[i];
        const QString name = QString::fromUtf8(kEraserNames[i]);
        QToolButton *button = makeButton(
                name, QStringLiteral("%1 · 直径 %2 px").arg(name).arg(std::lround(2 * radius)));
        m_group->addButton(button);
        row->addWidget(button);
        m_sizeButtons.append(button);
        connect(button, &QToolButton::clicked, this, [this, radius]() { emit sizePicked(radius); });
    }
    row->addStretch();
    restyle();
}

QString EraserPalette::sizeName(double radius)
{
    const double snapped = InkErase::snapRadius(radius);
    for (int i = 0; i < int(std::size(InkErase::kEraserSteps)); ++i) {
        if (InkErase::kEraserSteps[i] == snapped)
            return QString::fromUtf8(kEraserNames[i]);
    }
    return QString::fromUtf8(kEraserNames[0]);
}

void EraserPalette::restyle()
{
    PaletteCard::restyle();
    const Theme &t = theme();
    const int side = metrics().iconSize;
    constexpr double kLargest = InkErase::kEraserSteps[std::size(InkErase::kEraserSteps) - 1];
    QColor fill = t.text;
    fill.setAlpha(40);
    for (int i = 0; i < m_sizeButtons.size(); ++i) {
        // Discs in proportion to the radii, the smallest still legible.
        const int inner = std::max(int(side * InkErase::kEraserSteps[i] / kLargest), side / 3);
        m_sizeButtons.at(i)->setIcon(glyphIcon(Glyph::Dot, side, inner, devicePixelRatioF(),
                                               { t.text, t.textDisabled, {}, fill },
                                               glyphLine(side) * 0.8));
    }
}

void EraserPalette::refresh()
{
    if (!canvas())
        return;
    const double radius = InkErase::snapRadius(canvas()->eraserRadius());
    m_group->setExclusive(false);
    for (int i = 0; i < m_sizeButtons.size(); ++i)
        m_sizeButtons.at(i)->setChecked(InkErase::kEraserSteps[i] == radius);
    m_group->setExclusive(true);
}

// ---- ClearPalette ----

ClearPalette::ClearPalette(PdfCanvas *canvas, QWidget *anchor)
    : PaletteCard(canvas, anchor, QStringLiteral("clearPalette"))
{
    addCaption(QStringLiteral("清空"));
    QHBoxLayout *row = addRow(content(), metrics().gapXs);
    const struct
    {
        const char *label;
        const char *tip;
    } kScopes[] = { { "清空本页", "只清掉当前页的批注" },
                    { "清空整个文件", "清掉本文档所有页的批注" } };
    for (int scope = 0; scope < int(std::size(kScopes)); ++scope) {
        QToolButton *button = makeButton(QString::fromUtf8(kScopes[scope].label),
                                         QString::fromUtf8(kScopes[scope].tip));
        button->setCheckable(false);
        row->addWidget(button);
        m_buttons.append(button);
        connect(button, &QToolButton::clicked, this, [this, scope]() { emit scopePicked(scope); });
    }
    row->addStretch();
    restyle();
}

void ClearPalette::restyle()
{
    PaletteCard::restyle();
    const Theme &t = theme();
    const int side = metrics().iconSize;
    const Glyph glyphs[] = { Glyph::ClearPage, Glyph::ClearAll };
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons.at(i)->setIcon(glyphIcon(glyphs[i], side, devicePixelRatioF(),
                                           { t.text, t.textDisabled, {}, {} }, glyphLine(side)));
}

void ClearPalette::refresh()
{
    // Nothing to check: both scopes are plain actions.
}
