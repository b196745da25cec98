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

// Buttons, cards, canvas sync, styles and the fade. Placement and dragging
// are in inktoolbar_drag.cpp, the drawer in inktoolbar_fold.cpp.

namespace {

constexpr int kIndicatorMs = 300;
constexpr int kFadeMs = 250;
constexpr double kFadedOpacity = 0.40;
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

    m_penCard = new PenPalette(canvas, this);
    m_eraserCard = new EraserPalette(canvas, this);
    m_clearCard = new ClearPalette(canvas, this);
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
    m_penCard->restyle();
    m_eraserCard->restyle();
    m_clearCard->restyle();
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

// ---- Tools and cards ----

void InkToolbar::onToolButton(int id)
{
    if (!m_canvas)
        return;
    const auto tool = PdfCanvas::InkTool(id);
    if (tool == PdfCanvas::InkTool::Move || m_canvas->tool() != tool) {
        // The first click on Pen or Eraser only switches the tool.
        hideCards();
        hidePageGrid();
        m_canvas->setTool(tool);
        syncFromCanvas();
        return;
    }
    if (tool == PdfCanvas::InkTool::Pen)
        showPenPalette();
    else
        showEraserPalette();
}

void InkToolbar::toggleCard(PaletteCard *card, QWidget *anchorButton)
{
    if (!m_canvas)
        return;
    setCollapsed(false);
    for (PaletteCard *other : { static_cast<PaletteCard *>(m_penCard),
                                static_cast<PaletteCard *>(m_eraserCard),
                                static_cast<PaletteCard *>(m_clearCard) }) {
        if (other != card)
            other->hide();
    }
    hidePageGrid();
    if (card->isVisible()) {
        card->hide();
        return;
    }
    card->popUp(anchorButton);
}

void InkToolbar::showPenPalette()
{
    toggleCard(m_penCard, button(Button::Pen));
}

void InkToolbar::showEraserPalette()
{
    toggleCard(m_eraserCard, button(Button::Eraser));
}

void InkToolbar::showClearPalette()
{
    toggleCard(m_clearCard, button(Button::Clear));
}

void InkToolbar::hideCards()
{
    m_penCard->hide();
    m_eraserCard->hide();
    m_clearCard->hide();
}

void InkToolbar::hidePageGrid()
{
    if (m_pageGrid)
        m_pageGrid->hide();
}

void InkToolbar::placeCards()
{
    m_penCard->place();
    m_eraserCard->place();
    m_clearCard->place();
}

void InkToolbar::onPageButton()
{
    if (!m_canvas || m_canvas->pageCount() == 0)
        return;
    setCollapsed(false);
    hideCards();
    if (!m_pageGrid)
        m_pageGrid = new PageGrid(m_canvas, button(Button::Page));
    if (m_pageGrid->isVisible())
        m_pageGrid->hide();
    else
        m_pageGrid->openGrid();
}

void InkToolbar::forward(void (InkToolbar::*request)())
{
    hidePageGrid();
    hideCards();
    emit (this->*request)();
}

bool InkToolbar::hasOpenOverlay() const
{
    return m_penCard->isVisible() || m_eraserCard->isVisible() || m_clearCard->isVisible()
            || (m_pageGrid && m_pageGrid->isVisible());
}

// ---- Canvas state ----

void InkToolbar::syncFromCanvas()
{
    if (!m_canvas)
        return;
    const PdfCanvas *canvas = m_canvas;
    QAbstractButton *tool = m_toolGroup->button(int(canvas->tool()));
    if (tool && !tool->isChecked())
        tool->setChecked(true);
    syncIndicator(tool);

    button(Button::Undo)->setEnabled(canvas->undoDepth() > 0);
    button(Button::Redo)->setEnabled(canvas->redoDepth() > 0);
    button(Button::Clear)->setEnabled(canvas->strokeCount() > 0);

    const int count = canvas->pageCount();
    QToolButton *page = button(Button::Page);
    page->setText(count > 0 ? QStringLiteral("%1 / %2").arg(canvas->currentPage() + 1).arg(count)
                            : QStringLiteral("- / -"));
    page->setEnabled(count > 0);

    if (canvas->penColor() != m_penGlyphColor) {
        m_penGlyphColor = canvas->penColor();
        paintIcon(Button::Pen);
    }
    m_penCard->refresh();

    const double radius = canvas->eraserRadius();
    button(Button::Eraser)
            ->setToolTip(QStringLiteral("点擦：擦除碰到的整条笔迹 · 当前大小：%1（直径 %2 px）")
                                 .arg(EraserPalette::sizeName(radius))
                                 .arg(std::lround(2 * radius)));
    m_eraserCard->refresh();
}

void InkToolbar::syncIndicator(QAbstractButton *checked)
{
    if (checked == m_indicatorButton)
        return;
    const bool animate = m_indicatorButton != nullptr && m_indicator->isVisible();
    m_indicatorButton = checked;
    if (!checked) {
        m_indicatorAnimation->stop();
        m_indicator->hide();
        return;
    }
    m_indicator->show();
    m_indicator->lower();
    setIndicatorTarget(checked->geometry(), animate);
}

void InkToolbar::setIndicatorTarget(const QRect &geometry, bool animate)
{
    const int duration = animate ? motionDuration(kIndicatorMs) : 0;
    if (duration <= 0) {
        m_indicatorAnimation->stop();
        m_indicator->setGeometry(geometry);
        return;
    }
    m_indicatorAnimation->stop();
    m_indicatorAnimation->setDuration(duration);
    m_indicatorAnimation->setStartValue(m_indicator->geometry());
    m_indicatorAnimation->setEndValue(geometry);
    m_indicatorAnimation->start();
}

// ---- Fade and full screen ----

void InkToolbar::setFaded(bool faded)
{
    if (faded == m_faded)
        return;
    m_faded = faded;
    m_fadeAnimation->stop();
    m_opacity->setEnabled(true);
    const int duration = motionDuration(kFadeMs);
    if (duration <= 0) {
        finishFade();
        return;
    }
    m_fadeAnimation->setDuration(duration);
    m_fadeAnimation->setStartValue(m_opacity->opacity());
    m_fadeAnimation->setEndValue(faded ? kFadedOpacity : 1.0);
    m_fadeAnimation->start();
}

void InkToolbar::finishFade()
{
    m_opacity->setOpacity(m_faded ? kFadedOpacity : 1.0);
    // At full opacity the effect would only cost an offscreen pass per paint.
    m_opacity->setEnabled(m_faded);
}

void InkToolbar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_shadow.paint(painter, m_chip->geometry(), devicePixelRatioF());
}

double InkToolbar::opacity() const
{
    return m_opacity->isEnabled() ? m_opacity->opacity() : 1.0;
}

void InkToolbar::setFullscreenActive(bool on)
{
    if (on == m_fullscreen)
        return;
    m_fullscreen = on;
    button(Button::Fullscreen)->setToolTip(fullscreenTip(on));
    paintIcon(Button::Fullscreen);
}
