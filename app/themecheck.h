#pragma once

#include <QColor>
#include <QStringList>

struct Theme;

// WCAG relative luminance of an opaque colour (0 black .. 1 white).
double relativeLuminance(const QColor &color);
// WCAG contrast ratio of two opaque colours (1 .. 21).
double contrastRatio(const QColor &a, const QColor &b);

// What every scheme must satisfy, as readable faults (empty when sound):
// white paper, readable text on the bar and on the accent, and a dark
// theme that is darker underneath and lighter in its text than the light one.
QStringList themeViolations(const Theme &light, const Theme &dark);

// --selftest-theme: all 64 schemes, one line each; 0 when all are sound.
int runThemeSelfTest();
