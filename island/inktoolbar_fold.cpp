#include "island/inktoolbar.h"

#include "ui/theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVariantAnimation>

#include <algorithm>
#include <cstdlib>

// The drawer: folding hides every tool but the chevron. The island's right
// edge stays pinned while its width animates, so the tools slide under that
// edge and the chevron never moves.

namespace {

constexpr int kFoldMs = 200;
constexpr int kMinFoldMs = 80;

} // namespace

void InkToolbar::toggleCollapsed()
{
    setCollapsed(!m_collapsed);
}

bool InkToolbar::isFolding() const
{
    return m_folding;
}

int InkToolbar::measureWidth(bool toolsShown)
{
    m_toolArea->setVisible(toolsShown);
    m_chipLayout->invalidate();
    const QMargins margins = m_layout->contentsMargins();
    return m_chip->sizeHint().width() + margins.left() + margins.right();
}

void InkToolbar::setCollapsed(bool collapsed)
{
    if (collapsed == m_collapsed)
        return;
    m_collapsed = collapsed;
    if (collapsed) {
        hideCards();
        hidePageGrid();
    }
    const QString tip = collapsed ? QStringLiteral("展开工具栏") : QStringLiteral("收起工具栏");
    QToolButton *chevron = button(Button::Collapse);
    chevron->setToolTip(tip);
    chevron->setAccessibleName(tip);
    paintIcon(Button::Collapse);

    const int start = width();
    int end = 0;
    if (collapsed) {
        end = measureWidth(false);
        m_collapsedWidth = end;
        m_toolArea->setVisible(true);
    } else {
        end = measureWidth(true);
        m_expandedWidth = end;
    }

    // A fold reversed midway runs only the distance left, at the same speed.
    int duration = kFoldMs;
    const int distance = std::abs(end - start);
    const int full = m_expandedWidth - m_collapsedWidth;
    if (m_expandedWidth > 0 && m_collapsedWidth > 0 && full > 0 && distance < full)
        duration = std::clamp(distance * kFoldMs / full, kMinFoldMs, kFoldMs);
    duration = motionDuration(duration);

    m_foldAnimation->stop();
    if (!m_folding) {
        // The chip leaves the layout and keeps its natural (expanded) width;
        // the island clips it from the left.
        m_folding = true;
        m_layout->removeWidget(m_chip);
        const QMargins margins = m_layout->contentsMargins();
        m_chip->resize(m_chip->sizeHint().width(), height() - margins.top() - margins.bottom());
    }
    if (duration <= 0) {
        applyFoldWidth(end);
        finishFold();
        return;
    }
    m_foldAnimation->setDuration(duration);
    m_foldAnimation->setStartValue(start);
    m_foldAnimation->setEndValue(end);
    m_foldAnimation->start();
}

void InkToolbar::applyFoldWidth(int width)
{
    if (!m_folding)
        return;
    width = std::max(width, 1);
    QWidget *host = parentWidget();
    const int hostWidth = host ? host->width() : width;
    const int x = std::max(std::min(m_pinnedRight - width, hostWidth - width), 0);
    placeAt(QPoint(x, pos().y()));
    resize(width, height());
    const QMargins margins = m_layout->contentsMargins();
    m_chip->move(width - margins.right() - m_chip->width(), margins.top());
    placeCards();
}

void InkToolbar::finishFold()
{
    if (!m_folding)
        return;
    m_folding = false;
    m_toolArea->setVisible(!m_collapsed);
    m_layout->addWidget(m_chip);
    m_layout->invalidate();
    fitToContents();
    emit hiddenChanged(m_collapsed);
}

void InkToolbar::finishRunningFold()
{
    if (!m_folding)
        return;
    m_foldAnimation->stop();
    finishFold();
}
