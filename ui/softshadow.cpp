#include "ui/softshadow.h"

#include <QPainter>

#include <cmath>

void SoftShadow::setStyle(const QColor &color, int spread, int offset, double radius)
{
    if (color == m_color && spread == m_spread && offset == m_offset && radius == m_radius)
        return;
    m_color = color;
    m_spread = std::max(spread, 1);
    m_offset = offset;
    m_radius = radius;
    m_cache = QPixmap();
}

void SoftShadow::paint(QPainter &painter, const QRect &frame, double dpr)
{
    if (frame.isEmpty() || m_color.alpha() == 0)
        return;
    const QSize outer = frame.size() + QSize(2 * m_spread, 2 * m_spread);
    if (m_cache.isNull() || m_cacheFrame != frame.size()
        || !qFuzzyCompare(m_cache.devicePixelRatio(), dpr)) {
        m_cache = QPixmap(outer * dpr);
        m_cache.setDevicePixelRatio(dpr);
        m_cache.fill(Qt::transparent);
        QPainter p(&m_cache);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        // Stacked rings, each adding a little alpha towards the frame: the
        // sum falls off quadratically from the colour's alpha at the edge.
        const auto reach = [this](int d) {
            const double t = 1.0 - double(d) / (m_spread + 1);
            return m_color.alphaF() * t * t;
        };
        for (int k = m_spread; k >= 0; --k) {
            QColor c = m_color;
            c.setAlphaF(float(reach(k) - reach(k + 1)));
            p.setBrush(c);
            const QRectF r = QRectF(m_spread, m_spread, frame.width(), frame.height())
                                     .adjusted(-k, -k, k, k);
            p.drawRoundedRect(r, m_radius + k, m_radius + k);
        }
        m_cacheFrame = frame.size();
    }
    painter.drawPixmap(frame.topLeft() - QPoint(m_spread, m_spread - m_offset), m_cache);
}
