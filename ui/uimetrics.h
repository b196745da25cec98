#pragma once

#include <QFont>

// Every size of the interface, derived from a font's height so the program
// scales with the system font on large classroom panels.
struct UiMetrics
{
    int touchTarget = 0;
    int toolButtonHeight = 0;
    int iconSize = 0;
    int gapXs = 0;
    int gapL = 0;
    int inset = 0;
    int gapM = 0;
    int glyphSize = 0;
    int gapXl = 0;
    int hairline = 0;
    int labelGap = 0;
    int extentXl = 0;
    int extentL = 0;
    int extentM = 0;
    double glyphSizeF = 0;
    double extentS = 0;
    double pageGap = 0;
    double pageSideMargin = 0;
    int pageTopMargin = 0;
    int pageBottomMargin = 0;
    int emblemSize = 0;
    int emblemGlyph = 0;
};

// h is the font's metrics height, at least 12; scale is 1.0 for ordinary
// widgets and 0.8 for the ink toolbar.
UiMetrics uiMetricsForHeight(double h, double scale = 1.0, bool compact = false);
UiMetrics uiMetrics(const QFont &font, double scale = 1.0, bool compact = false);
QFont scaledFont(const QFont &base, double factor, int weight);
