// The island at work: the tool buttons and their cards, the page overview,
// following the canvas's state, and the idle fade.
#include "island/inktoolbar.h"

#include "canvas/pagegrid.h"
#include "canvas/pdfcanvas.h"
#include "island/palettecards.h"
#include "island/toolindicator.h"
#include "ui/theme.h"

#include <QButtonGroup>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QToolButton>
#include <QVariantAnimation>

namespace {

constexpr int kIndicatorMs = 300;
constexpr int kFadeMs = 250;
constexpr double kFadedOpacity = 0.40;

} // namespace

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
    toggleCard(penPalette(), button(Button::Pen));
}

void InkToolbar::showEraserPalette()
{
    toggleCard(eraserPalette(), button(Button::Eraser));
}

void InkToolbar::showClearPalette()
{
    toggleCard(clearPalette(), button(Button::Clear));
}

void InkToolbar::hideCards()
{
    if (!m_penCard)
        return;
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
    if (!m_penCard)
        return;
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
    return (m_penCard && (m_penCard->isVisible() || m_eraserCard->isVisible() || m_clearCard->isVisible()))
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
    if (m_penCard)
        m_penCard->refresh();

    const double radius = canvas->eraserRadius();
    button(Button::Eraser)
            ->setToolTip(QStringLiteral("点擦：擦除碰到的整条笔迹 · 当前大小：%1（直径 %2 px）")
                                 .arg(EraserPalette::sizeName(radius))
                                 .arg(std::lround(2 * radius)));
    if (m_eraserCard)
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

// ---- Fade ----

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

double InkToolbar::opacity() const
{
    return m_opacity->isEnabled() ? m_opacity->opacity() : 1.0;
}
