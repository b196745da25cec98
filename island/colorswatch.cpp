#include "island/colorswatch.h"

#include "ui/theme.h"

#include <QPainter>

#include <algorithm>

ColorSwatch::ColorSwatch(const QColor &color, const QString &name, QWidget *parent)
    : QAbstractButton(parent)
    , m_color(color)
    , m_name(name)
{
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setToolTip(QStringLiteral("%1  %2").arg(name, color.name(QColor::HexRgb).toLower()));
    setAccessibleName(name);
}

void ColorSwatch::setSide(int side)
{
    if (side == m_side)
        return;
    m_side = side;
    setFixedSize(side, side);
    updateGeometry();
}

QSize ColorSwatch::sizeHint() const
{
    return QSize(m_side, m_side);
}

void ColorSwatch::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    update();
}

void ColorSwatch::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    update();
}

void ColorSwatch::paintEvent(QPaintEvent *)
{
    const Theme &t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double a = std::min(width(), height());
    const double b = std::max(0.085 * a, 2.0);
    const double g = std::max(0.05 * a, 1.5);
    const QRectF square((width() - a) / 2, (height() - a) / 2, a, a);
    const QRectF ring = square.adjusted(b / 2, b / 2, -b / 2, -b / 2);
    if (isChecked()) {
        painter.setPen(QPen(t.accent, b));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(ring);
    } else if (underMouse()) {
        // The theme has no separate hover-ring role: the text colour, faint.
        QColor hoverRing = t.text;
        hoverRing.setAlpha(56);
        painter.setPen(QPen(hoverRing, 0.8 * b));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(ring);
    }
    const QRectF dot = ring.adjusted(b + g, b + g, -(b + g), -(b + g));
    // The outline keeps light colours (yellow) apart from a light card.
    painter.setPen(QPen(t.outline, std::max(0.035 * a, 1.0)));
    painter.setBrush(m_color);
    painter.drawEllipse(dot);
}
