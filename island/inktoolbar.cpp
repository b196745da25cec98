#include "island/inktoolbar.h"

#include "ui/theme.h"
#include "canvas/pagegrid.h"
#include "canvas/pdfcanvas.h"
#include "ui/glyphicon.h"
#include "island/palettecards.h"
#include "island/toolindicator.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QToolButton>
#include <QVariantAnimation>

#include <cmath>

// Building the island, its buttons and styles. The tools, cards, canvas sync
// and fade are in inktoolbar_tools.cpp, placement and dragging in
// inktoolbar_drag.cpp, the drawer in inktoolbar_fold.cpp.

namespace {

constexpr int kPageButtonExtra = 24;
constexpr int kShadowAlpha = 48;

QColor withAlpha(QColor c, double alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}

Glyph glyphFor(InkToolbar::Button which, bool collapsed, bool fullscreen)
{
    using B = InkToolbar::Button;
    switch (which) {
    case B::Pen: return Glyph::Pen;
    case B::Eraser: return Glyph::Eraser;
    case B::Move: return Glyph::Move;
    case B::Undo: return Glyph::Undo;
    case B::Redo: return Glyph::Redo;
    case B::Clear: return Glyph::Clear;
    case B::FitWidth: return Glyph::FitWidth;
    case B::Page: return Glyph::PageGrid;
    case B::Save: return Glyph::Save;
    case B::SaveAs: return Glyph::SaveAs;
    case B::Settings: return Glyph::Settings;
    case B::Fullscreen: return fullscreen ? Glyph::ExitFullscreen : Glyph::Fullscreen;
    case B::Collapse: return collapsed ? Glyph::ChevronLeft : Glyph::ChevronRight;
    }
    return Glyph::Document;
}

QString fullscreenTip(bool on)
{
    return on ? QStringLiteral("退出全屏（Esc）") : QStringLiteral("全屏显示（F11）");
}

} // namespace

InkToolbar::InkToolbar(PdfCanvas *canvas)
    : QWidget(canvas->viewport())
    , m_canvas(canvas)
{
    setObjectName(QStringLiteral("inkToolbar"));
    setFocusPolicy(Qt::NoFocus);
    setFont(scaledFont(canvas->font(), 1.06, 600));
    m_metrics = uiMetrics(font(), 0.8, m_style == Compact);
    const UiMetrics &m = m_metrics;

    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(m.gapL, m.gapL, m.gapL, m.gapL);
    m_chip = new QFrame(this);
    m_chip->setObjectName(QStringLiteral("inkChip"));
    // Presses, touches and pen taps on the chip are the island's: none
    // reaches the viewport, so none can ink. Unaccepted touch and pen input
    // comes back as mouse events, which the buttons click on. The margin
    // around the chip only holds its shadow: input there goes on to the page.
    m_chip->setAttribute(Qt::WA_NoMousePropagation);
    m_chip->setCursor(Qt::OpenHandCursor);
    m_chip->installEventFilter(this);
    m_layout->addWidget(m_chip);
    m_chipLayout = new QHBoxLayout(m_chip);
    m_chipLayout->setContentsMargins(m.gapXs, m.gapXs, m.gapXs, m.gapXs);
    m_chipLayout->setSpacing(m.gapXs);
    m_toolArea = new QWidget(m_chip);
    m_chipLayout->addWidget(m_toolArea);
    m_indicator = new ToolIndicator(m_toolArea);
    m_indicator->hide();
    auto *tools = new QHBoxLayout(m_toolArea);
    tools->setContentsMargins(0, 0, 0, 0);
    tools->setSpacing(m.gapXs);

    m_buttons.resize(int(Button::Collapse) + 1);
    const auto add = [&](Button which, const char *label, const char *tip) {
        tools->addWidget(addButton(which, QString::fromUtf8(label), QString::fromUtf8(tip)));
    };
    add(Button::Pen, "笔", "画笔：选择颜色与粗细");
    add(Button::Eraser, "橡皮", "点擦：擦除碰到的整条笔迹");
    add(Button::Move, "自由移动", "自由移动：拖动画面（不批注）");
    tools->addWidget(addSeparator());
    add(Button::Undo, "撤销", "撤销上一步");
    add(Button::Redo, "重做", "重做上一步");
    add(Button::Clear, "清空", "清空本页批注");
    tools->addWidget(addSeparator());
    add(Button::FitWidth, "适配宽度", "适配宽度：按页面宽度自动缩放");
    add(Button::Page, "- / -", "跳转页码");
    add(Button::Save, "保存", "保存批注（打包为 .dpz）");
    add(Button::SaveAs, "另存为", "另存为：打包保存或注入 PDF");
    add(Button::Settings, "设置", "设置：开机自启与文件关联");
    add(Button::Fullscreen, "全屏", "全屏显示（F11）");
    tools->addWidget(addSeparator());
    QToolButton *collapse = addButton(Button::Collapse, QString(), QStringLiteral("收起工具栏"));
    collapse->setAccessibleName(QStringLiteral("收起工具栏"));
    m_chipLayout->addWidget(collapse);
    button(Button::Page)->setObjectName(QStringLiteral("inkPage"));
    button(Button::Page)->setEnabled(false);

    m_toolGroup = new QButtonGroup(this);
    m_toolGroup->setExclusive(true);
    m_toolGroup->addButton(button(Button::Pen), int(PdfCanvas::InkTool::Pen));
    m_toolGroup->addButton(button(Button::Eraser), int(PdfCanvas::InkTool::Eraser));
    m_toolGroup->addButton(button(Button::Move), int(PdfCanvas::InkTool::Move));
    for (QAbstractButton *tool : m_toolGroup->buttons())
        tool->setCheckable(true);
    connect(m_toolGroup, &QButtonGroup::idClicked, this, &InkToolbar::onToolButton);

    m_indicatorAnimation = new QVariantAnimation(this);
    m_indicatorAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_indicatorAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { m_indicator->setGeometry(value.toRect()); });

    connect(button(Button::Undo), &QToolButton::clicked, this, [this]() {
        hidePageGrid();
        if (m_canvas)
            m_canvas->undo();
    });
    connect(button(Button::Redo), &QToolButton::clicked, this, [this]() {
        hidePageGrid();
        if (m_canvas)
            m_canvas->redo();
    });
    connect(button(Button::Clear), &QToolButton::clicked, this, &InkToolbar::showClearPalette);
    connect(button(Button::FitWidth), &QToolButton::clicked, this, [this]() {
        hidePageGrid();
        if (m_canvas)
            m_canvas->fitWidth(true);
    });
    connect(button(Button::Page), &QToolButton::clicked, this, &InkToolbar::onPageButton);
    connect(button(Button::Save), &QToolButton::clicked, this,
            [this]() { forward(&InkToolbar::saveRequested); });
    connect(button(Button::SaveAs), &QToolButton::clicked, this,
            [this]() { forward(&InkToolbar::saveAsRequested); });
    connect(button(Button::Settings), &QToolButton::clicked, this,
            [this]() { forward(&InkToolbar::settingsRequested); });
    connect(button(Button::Fullscreen), &QToolButton::clicked, this,
            [this]() { forward(&InkToolbar::fullscreenRequested); });
    connect(collapse, &QToolButton::clicked, this, &InkToolbar::toggleCollapsed);

    m_opacity = new QGraphicsOpacityEffect(this);
    m_opacity->setOpacity(1.0);
    m_opacity->setEnabled(false);
    setGraphicsEffect(m_opacity);
    m_fadeAnimation = new QPropertyAnimation(m_opacity, "opacity", this);
    connect(m_fadeAnimation, &QPropertyAnimation::finished, this, &InkToolbar::finishFade);

    m_foldAnimation = new QVariantAnimation(this);
    m_foldAnimation->setEasingCurve(QEasingCurve::InOutCubic);
    connect(m_foldAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { applyFoldWidth(value.toInt()); });
    connect(m_foldAnimation, &QVariantAnimation::finished, this, &InkToolbar::finishFold);

    connect(canvas, &PdfCanvas::inkChanged, this, &InkToolbar::syncFromCanvas);
    connect(canvas, &PdfCanvas::undoStateChanged, this, &InkToolbar::syncFromCanvas);
    connect(canvas, &PdfCanvas::toolChanged, this, &InkToolbar::syncFromCanvas);
    connect(canvas, &PdfCanvas::penChanged, this, &InkToolbar::syncFromCanvas);
    connect(canvas, &PdfCanvas::eraserChanged, this, &InkToolbar::syncFromCanvas);
    connect(canvas, &PdfCanvas::pageChanged, this, &InkToolbar::syncFromCanvas);
    connect(canvas, &PdfCanvas::styleChanged, this, &InkToolbar::restyle);
    // Connected after the scroll area's own slot, so this runs once the
    // viewport has scrolled.
    connect(canvas->verticalScrollBar(), &QScrollBar::valueChanged, this, &InkToolbar::holdPlace);
    connect(canvas->horizontalScrollBar(), &QScrollBar::valueChanged, this, &InkToolbar::holdPlace);
    parentWidget()->installEventFilter(this);

    applyButtonStyle();
    restyle();
    syncFromCanvas();
    fitToContents();
    canvas->attachIsland(this, [this](const QWidget *child, const QPoint &viewportPos) {
        return child == this && !chipContains(viewportPos);
    });
}

InkToolbar::~InkToolbar() = default;

// Most lessons are shown without a card ever opening: they are built, in
// the theme of the moment, when one is first needed.
void InkToolbar::ensureCards()
{
    if (m_penCard || !m_canvas)
        return;
    m_penCard = new PenPalette(m_canvas, this);
    m_eraserCard = new EraserPalette(m_canvas, this);
    m_clearCard = new ClearPalette(m_canvas, this);
    connect(m_penCard, &PenPalette::colorPicked, this, [this](const QColor &color) {
        if (m_canvas && color.isValid())
            m_canvas->setPenColor(color);
        m_penCard->hide();
    });
    connect(m_penCard, &PenPalette::widthPicked, this, [this](double width) {
        if (m_canvas)
            m_canvas->setPenWidth(width);
        m_penCard->hide();
    });
    connect(m_eraserCard, &EraserPalette::sizePicked, this, [this](double radius) {
        if (m_canvas)
            m_canvas->setEraserRadius(radius);
        m_eraserCard->hide();
    });
    connect(m_clearCard, &ClearPalette::scopePicked, this, [this](int scope) {
        if (m_canvas) {
            if (scope == ClearPalette::Document)
                m_canvas->clearInk();
            else
                m_canvas->clearPageInk();
        }
        m_clearCard->hide();
    });
    m_penCard->restyle();
    m_eraserCard->restyle();
    m_clearCard->restyle();
    m_penCard->refresh();
    m_eraserCard->refresh();
}

PenPalette *InkToolbar::penPalette()
{
    ensureCards();
    return m_penCard;
}

EraserPalette *InkToolbar::eraserPalette()
{
    ensureCards();
    return m_eraserCard;
}

ClearPalette *InkToolbar::clearPalette()
{
    ensureCards();
    return m_clearCard;
}

QToolButton *InkToolbar::button(Button which) const
{
    return m_buttons.value(int(which));
}

QToolButton *InkToolbar::addButton(Button which, const QString &label, const QString &toolTip)
{
    auto *b = new QToolButton(which == Button::Collapse ? static_cast<QWidget *>(m_chip)
                                                        : m_toolArea);
    b->setText(label);
    b->setToolTip(toolTip);
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    b->setAutoRaise(true);
    b->installEventFilter(this);
    m_buttons[int(which)] = b;
    return b;
}

QFrame *InkToolbar::addSeparator()
{
    auto *separator = new QFrame(m_toolArea);
    separator->setObjectName(QStringLiteral("inkSep"));
    m_separators.append(separator);
    return separator;
}

void InkToolbar::applyButtonStyle()
{
    const UiMetrics &m = m_metrics;
    const bool compact = m_style == Compact;
    for (int i = 0; i < m_buttons.size(); ++i) {
        QToolButton *b = m_buttons.at(i);
        const Button which = Button(i);
        Qt::ToolButtonStyle style = compact ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon;
        // The page button's label is the page number: shown in both styles.
        if (which == Button::Page)
            style = compact ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextUnderIcon;
        else if (which == Button::Collapse)
            style = Qt::ToolButtonIconOnly;
        b->setToolButtonStyle(style);
        b->setIconSize(QSize(m.iconSize, m.iconSize));
        const int extra = which == Button::Page ? kPageButtonExtra : 0;
        b->setMinimumSize(m.toolButtonHeight + extra, m.toolButtonHeight);
    }
    for (QFrame *separator : std::as_const(m_separators))
        separator->setFixedSize(std::max(m.hairline, 1), m.iconSize);
    m_indicator->setCornerRadius(m.extentL);
}

void InkToolbar::applyStyleSheet()
{
    const Theme &t = theme();
    const UiMetrics &m = m_metrics;
    const QString chip =
            QStringLiteral("QFrame#inkChip { background: %1; border: %2 solid %3; border-radius: %4; }"
                           "QFrame#inkSep { background: %5; border: none; border-radius: %6; }")
                    .arg(cssColor(t.bar), cssPx(m.hairline), cssColor(t.border), cssPx(m.extentXl),
                         cssColor(t.divider), cssPx(m.hairline));
    const QString buttons =
            QStringLiteral("QFrame#inkChip QToolButton { color: %1; background: transparent; border: none; "
                           "border-radius: %2; padding: %3 %4 %5 %4; }"
                           "QFrame#inkChip QToolButton:hover { background: %6; }"
                           "QFrame#inkChip QToolButton:pressed { background: %7; }"
                           "QFrame#inkChip QToolButton:checked { background: transparent; color: %8; }")
                    .arg(cssColor(t.text), cssPx(m.extentL), cssPx(m.inset), cssPx(m.gapL),
                         cssPx(m.inset + 2), cssColor(t.hover), cssColor(t.pressed),
                         cssColor(t.onSecondaryContainer));
    const QString states =
            QStringLiteral("QFrame#inkChip QToolButton:checked:hover { background: %1; }"
                           "QFrame#inkChip QToolButton:disabled { color: %2; }"
                           "QFrame#inkChip QToolButton:checked:disabled { background: %3; color: %2; }"
                           "QFrame#inkChip QToolButton#inkPage { background: %3; color: %4; "
                           "border-radius: %9; padding: %5 %6 %5 %6; }"
                           "QFrame#inkChip QToolButton#inkPage:hover { background: %7; }"
                           "QFrame#inkChip QToolButton#inkPage:pressed { background: %8; }"
                           "QFrame#inkChip QToolButton#inkPage:disabled { color: %2; }")
                    .arg(cssColor(withAlpha(t.onSecondaryContainer, 0.08)), cssColor(t.textDisabled),
                         cssColor(t.fillStrong), cssColor(t.text), cssPx(m.inset), cssPx(m.gapL),
                         cssColor(t.hover), cssColor(t.pressed), cssPx(m.extentL));
    setStyleSheet(chip + buttons + states);
}

void InkToolbar::paintIcon(Button which)
{
    const Theme &t = theme();
    const UiMetrics &m = m_metrics;
    GlyphIconColors colors{ t.text, t.textDisabled, t.onSecondaryContainer, {} };
    if (which == Button::Pen)
        colors.second = m_penGlyphColor;
    const double line = std::max(1.5, m.iconSize / 12.0);
    button(which)->setIcon(glyphIcon(glyphFor(which, m_collapsed, m_fullscreen), m.iconSize,
                                     devicePixelRatioF(), colors, line));
}

void InkToolbar::paintIcons()
{
    for (int i = 0; i < m_buttons.size(); ++i)
        paintIcon(Button(i));
}

void InkToolbar::restyle()
{
    m_metrics = uiMetrics(font(), 0.8, m_style == Compact);
    applyStyleSheet();
    if (m_canvas)
        m_penGlyphColor = m_canvas->penColor();
    paintIcons();
    m_indicator->update();
    QColor shadow = theme().shadow;
    shadow.setAlpha(kShadowAlpha);
    m_shadow.setStyle(shadow, m_metrics.gapL, m_metrics.hairline, m_metrics.extentXl);
    update();
    if (m_penCard) {
        m_penCard->restyle();
        m_eraserCard->restyle();
        m_clearCard->restyle();
    }
}

void InkToolbar::setToolbarStyle(int style)
{
    style = style == Compact ? Compact : Text;
    if (style == m_style)
        return;
    finishRunningFold();
    m_style = style;
    m_metrics = uiMetrics(font(), 0.8, m_style == Compact);
    applyButtonStyle();
    applyStyleSheet();
    if (m_collapsed) {
        // The home place of a folded island is the centred expanded bar.
        m_expandedWidth = measureWidth(true);
        m_toolArea->setVisible(false);
    }
    m_layout->invalidate();
    fitToContents();
}

void InkToolbar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_shadow.paint(painter, m_chip->geometry(), devicePixelRatioF());
}

void InkToolbar::setFullscreenActive(bool on)
{
    if (on == m_fullscreen)
        return;
    m_fullscreen = on;
    button(Button::Fullscreen)->setToolTip(fullscreenTip(on));
    paintIcon(Button::Fullscreen);
}
