#include "island/inktoolbar.h"

#include "island/palettecard.h"
#include "island/toolindicator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QVariantAnimation>

#include <algorithm>

// Placement and dragging. The island is dragged by its chip's background
// (or a disabled button) at once, or by a button once the pointer has
// travelled the platform's drag distance; a drag never clicks, and since no
// press on the chip reaches the viewport, never inks. The shadow margin
// around the chip is the page's: presses there pass through.

namespace {

int clampInto(int value, int span)
{
    return std::clamp(value, 0, std::max(span, 0));
}

} // namespace

int InkToolbar::bottomGap() const
{
    return m_metrics.gapM;
}

void InkToolbar::placeAt(const QPoint &pos)
{
    m_placedPos = pos;
    move(pos);
}

void InkToolbar::holdPlace()
{
    // Scrolling the viewport moves its children along with the pages. Put
    // back only after the scroll: a move during it would dirty the viewport
    // and cost the scroll its blit.
    if (pos() != m_placedPos)
        move(m_placedPos);
    placeCards();
}

bool InkToolbar::event(QEvent *event)
{
    const bool result = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show)
        fitToContents();
    return result;
}

void InkToolbar::fitToContents()
{
    if (m_folding)
        return;
    resize(sizeHint());
    if (m_collapsed)
        m_collapsedWidth = width();
    else
        m_expandedWidth = width();
    reposition();
}

void InkToolbar::reposition()
{
    QWidget *host = parentWidget();
    if (!host || m_folding)
        return;
    const int hostWidth = host->width();
    const int hostHeight = host->height();
    if (!m_userPlaced) {
        const int expanded = m_expandedWidth > 0 ? m_expandedWidth : width();
        m_pinnedRight = expanded + (hostWidth - expanded) / 2;
    }
    const int x = std::max(std::min(m_pinnedRight - width(), hostWidth - width()), 0);
    const int y = m_userPlaced ? std::max(std::min(m_storedPos.y(), hostHeight - height()), 0)
                               : hostHeight - height() - bottomGap();
    placeAt(QPoint(x, y));
    raise();
    placeCards();
}

void InkToolbar::moveBy(const QPoint &delta)
{
    finishRunningFold();
    QWidget *host = parentWidget();
    if (!host)
        return;
    const int x = clampInto(pos().x() + delta.x(), host->width() - width());
    const int y = clampInto(pos().y() + delta.y(), host->height() - height());
    m_userPlaced = true;
    m_storedPos = QPoint(x, y);
    m_pinnedRight = x + width();
    placeAt(m_storedPos);
    placeCards();
    raise();
}

bool InkToolbar::chipContains(const QPoint &hostPos) const
{
    return isVisible() && m_chip->geometry().translated(pos()).contains(hostPos);
}

void InkToolbar::beginDrag(const QPoint &grabOffset, QAbstractButton *button)
{
    m_dragging = true;
    m_dragArmed = false;
    m_grabOffset = grabOffset;
    m_dragButton = button;
    m_chip->setCursor(Qt::ClosedHandCursor);
    if (button) {
        // The press becomes a drag: the button lets go without clicking.
        button->setDown(false);
        button->setCursor(Qt::ClosedHandCursor);
    }
}

void InkToolbar::dragTo(const QPointF &globalPos)
{
    QWidget *host = parentWidget();
    if (!host)
        return;
    const QPoint pointer = host->mapFromGlobal(globalPos).toPoint();
    moveBy(pointer - m_grabOffset - pos());
}

void InkToolbar::endDrag()
{
    m_dragging = false;
    m_dragArmed = false;
    m_chip->setCursor(Qt::OpenHandCursor);
    if (m_dragButton) {
        m_dragButton->setDown(false);
        m_dragButton->setCursor(Qt::PointingHandCursor);
    }
    m_dragButton = nullptr;
}

bool InkToolbar::backgroundEvent(QWidget *target, QEvent *event)
{
    auto *mouse = static_cast<QMouseEvent *>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (mouse->button() == Qt::LeftButton)
            beginDrag(target->mapTo(this, mouse->position().toPoint()), nullptr);
        break;
    case QEvent::MouseMove:
        if (m_dragging && !m_dragButton)
            dragTo(mouse->globalPosition());
        break;
    case QEvent::MouseButtonRelease:
        if (mouse->button() == Qt::LeftButton && m_dragging && !m_dragButton)
            endDrag();
        break;
    default:
        break;
    }
    // Nothing on the chip goes on to the page.
    event->accept();
    return true;
}

bool InkToolbar::buttonEvent(QAbstractButton *button, QEvent *event)
{
    // A disabled button is background (Qt's own handling would swallow the
    // press). One that turns disabled under a drag it started keeps that drag.
    if (!button->isEnabled() && m_dragButton != button)
        return backgroundEvent(button, event);
    auto *mouse = static_cast<QMouseEvent *>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (mouse->button() == Qt::LeftButton) {
            m_dragArmed = true;
            m_dragButton = button;
            m_pressPoint = button->mapTo(this, mouse->position().toPoint());
        }
        return false;
    case QEvent::MouseMove:
        if (m_dragButton != button)
            return false;
        if (m_dragging) {
            dragTo(mouse->globalPosition());
            return true;
        }
        if (m_dragArmed && (mouse->buttons() & Qt::LeftButton)) {
            const QPoint at = mapFromGlobal(mouse->globalPosition()).toPoint();
            if ((at - m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
                beginDrag(m_pressPoint, button);
                dragTo(mouse->globalPosition());
                return true;
            }
        }
        return false;
    case QEvent::MouseButtonRelease:
        if (mouse->button() != Qt::LeftButton || m_dragButton != button)
            return false;
        if (m_dragging) {
            endDrag();
            return true;
        }
        m_dragArmed = false;
        m_dragButton = nullptr;
        return false;
    default:
        return false;
    }
}

bool InkToolbar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget()) {
        if (event->type() == QEvent::Resize)
            reposition();
        return QWidget::eventFilter(watched, event);
    }
    if (watched == m_chip) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            return backgroundEvent(m_chip, event);
        default:
            return QWidget::eventFilter(watched, event);
        }
    }
    auto *b = qobject_cast<QAbstractButton *>(watched);
    if (!b)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        return buttonEvent(b, event);
    case QEvent::Move:
    case QEvent::Resize:
        // The highlight follows its button through every re-layout.
        if (b == m_indicatorButton) {
            if (m_indicatorAnimation->state() == QAbstractAnimation::Running)
                m_indicatorAnimation->setEndValue(b->geometry());
            else
                m_indicator->setGeometry(b->geometry());
        }
        return false;
    default:
        return QWidget::eventFilter(watched, event);
    }
}
