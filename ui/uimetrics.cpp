#include "ui/uimetrics.h"

#include <QFontMetricsF>

#include <algorithm>

UiMetrics uiMetricsForHeight(double h, double s, bool compact)
{
    h = std::max(h, 12.0);
    UiMetrics m;
    m.touchTarget = int(std::max(2.2 * h, 48 * s));
    m.iconSize = int(std::max(1.25 * h, 22 * s));
    m.gapXs = int(std::max(0.25 * h, 4 * s));
    m.gapL = int(std::max(0.7 * h, 10 * s));
    m.inset = int(std::max(0.34 * h, 6 * s));
    m.gapM = int(std::max(0.5 * h, 8 * s));
    m.glyphSize = int(std::max(1.1 * h, 18 * s));
    m.gapXl = int(std::max(0.9 * h, 14 * s));
    m.hairline = std::max(1, int(h / 14));
    m.labelGap = int(std::max(0.4 * h, 6 * s));
    m.extentXl = int(std::max(1.3 * h, 22 * s));
    m.extentL = int(std::max(0.85 * h, 14 * s));
    m.extentM = int(std::max(0.6 * h, 10 * s));
    m.glyphSizeF = std::max(1.1 * h, 18 * s);
    m.extentS = std::max(0.22 * h, 3 * s);
    m.pageGap = std::max(1.15 * h, 14.0);
    m.pageSideMargin = std::max(1.15 * h, 14.0);
    m.pageTopMargin = int(std::max(0.6 * h, 8.0));
    m.pageBottomMargin = int(std::max(1.4 * h, 20.0));
    m.emblemSize = int(std::max(6.4 * h, 104.0));
    m.emblemGlyph = int(m.emblemSize * 0.46);
    if (compact)
        m.toolButtonHeight = int(std::max<double>(2 * m.inset + m.iconSize + 2, m.touchTarget));
    else
        m.toolButtonHeight = int(std::max<double>(
            2 * m.inset + std::max(0.4 * h, 6.0) + m.iconSize + h + 2, m.touchTarget + 6));
    return m;
}

UiMetrics uiMetrics(const QFont &font, double scale, bool compact)
{
    return uiMetricsForHeight(QFontMetricsF(font).height(), scale, compact);
}

QFont scaledFont(const QFont &base, double factor, int weight)
{
    QFont f = base;
    if (f.pointSizeF() > 0) {
        f.setPointSizeF(std::max(f.pointSizeF() * factor, 6.0));
    } else if (f.pixelSize() > 0) {
        const int px = int(f.pixelSize() * factor);
        f.setPixelSize(px < 9 ? 8 : px);
    }
    f.setWeight(QFont::Weight(weight));
    return f;
}
