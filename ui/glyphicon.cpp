#include "ui/glyphicon.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

QPixmap glyphPixmap(Glyph glyph, int side, int inner, double dpr, const QColor &color,
                    const QColor &second, double lineWidth)
{
    QPixmap pixmap(QSize(side, side) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const double offset = (side - inner) / 2.0;
    paintGlyph(painter, glyph, QRectF(offset, offset, inner, inner), color, lineWidth, second);
    return pixmap;
}

} // namespace

QIcon glyphIcon(Glyph glyph, int side, double dpr, const GlyphIconColors &colors,
                double lineWidth)
{
    return glyphIcon(glyph, side, side, dpr, colors, lineWidth);
}

QIcon glyphIcon(Glyph glyph, int side, int inner, double dpr, const GlyphIconColors &colors,
                double lineWidth)
{
    side = std::max(side, 1);
    inner = std::clamp(inner, 1, side);
    dpr = std::max(dpr, 1.0);
    QIcon icon;
    const QColor checked = colors.checked.isValid() ? colors.checked : colors.normal;
    const auto add = [&](const QColor &color, QIcon::Mode mode, QIcon::State state) {
        const QColor second = colors.second.isValid() && mode != QIcon::Disabled ? colors.second
                                                                                 : color;
        icon.addPixmap(glyphPixmap(glyph, side, inner, dpr, color, second, lineWidth), mode,
                       state);
    };
    add(colors.normal, QIcon::Normal, QIcon::Off);
    add(checked, QIcon::Normal, QIcon::On);
    add(colors.normal, QIcon::Active, QIcon::Off);
    add(checked, QIcon::Active, QIcon::On);
    add(colors.disabled, QIcon::Disabled, QIcon::Off);
    add(colors.disabled, QIcon::Disabled, QIcon::On);
    return icon;
}
