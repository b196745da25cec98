#include "island/toolindicator.h"

#include "ui/theme.h"

#include <QPainter>

#include <algorithm>

ToolIndicator::ToolIndicator(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void ToolIndicator::setCornerRadius(double radius)
{
    if (radius == m_radius)
        return;
    m_radius = radius;
    update();
}

void ToolIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme().accentSoft);
    const QRectF area(rect());
    const double r = std::min(m_radius, std::min(area.width(), area.height()) / 2);
    painter.drawRoundedRect(area, r, r);
}
