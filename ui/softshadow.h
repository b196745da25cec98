#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>

// A soft drop shadow for a rounded rectangle, painted by the island and the
// cards behind their frames. A graphics effect cannot do it: the island's
// fade is itself an effect, and Qt cannot nest widget effects.
class SoftShadow
{
public:
    // spread: how far the shadow reaches beyond the frame; offset: how far
    // it falls below it (logical pixels).
    void setStyle(const QColor &color, int spread, int offset, double radius);
    int spread() const { return m_spread; }
    // Paints the shadow of frame (painter coordinates).
    void paint(QPainter &painter, const QRect &frame, double devicePixelRatio);

private:
    QColor m_color;
    int m_spread = 8;
    int m_offset = 1;
    double m_radius = 8;
    QPixmap m_cache;
    QSize m_cacheFrame;
};
