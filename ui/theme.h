#pragma once

#include <QColor>
#include <QString>

// The process-wide colour record every widget paints and styles from:
// 31 Material 3 scheme roles followed by 19 derived tokens.
struct Theme
{
    // Scheme roles, indices 0..30.
    QColor primary, onPrimary, primaryContainer, onPrimaryContainer;
    QColor secondary, onSecondary, secondaryContainer, onSecondaryContainer;
    QColor tertiary, onTertiary, tertiaryContainer, onTertiaryContainer;
    QColor error, onError, errorContainer, onErrorContainer;
    QColor surfaceDim, surfaceBright, surfaceContainerLowest, surfaceContainerLow;
    QColor surfaceContainer, surfaceContainerHigh, surfaceContainerHighest;
    QColor onSurface, onSurfaceVariant, outline, outlineVariant;
    QColor inverseSurface, inverseOnSurface, inversePrimary, scrim;
    // Derived tokens, indices 31..49.
    QColor accent, accentHover, accentSoft, onAccent;
    QColor desk, deskEdge, paper, paperEdge, paperShadow;
    QColor bar, border, hover, pressed, fillStrong;
    QColor text, textMuted, textDisabled, divider, shadow;

    static constexpr int kColorCount = 50;
    // Index access in table order (0..49); out-of-range indices give black.
    QColor at(int index) const;
    bool dark = false;
};

// Clamped appearance values held for the whole process.
struct AppearanceSettings
{
    int mode = 0;   // 0 follow system, 1 light, 2 dark
    int preset = 0; // 0..7
    int style = 0;  // 0..3
};

Theme computeTheme(bool dark, int preset, int style);
// Reads ThemeStyle, ThemePreset, ThemeMode (in that order), clamps them,
// resolves the mode against the system scheme and replaces the record.
void recomputeTheme();
const Theme &theme();
const AppearanceSettings &appearance();
// Whether the system asks for a dark colour scheme (Qt 6.4 lacks colorScheme()):
// the desktop's setting, else the lightness of the system palette.
bool systemPrefersDark();
// The desktop's look may have changed (a theme change event, the portal).
void noteSystemAppearanceChanged();
// When that change may hide under our own dark palette and mode 0 has only
// the palette to go by, put the system's palette back so that the next
// resolution sees it; applyAppStyle follows at once.
void rereadSystemPalette();
// 1 light, 2 dark: the scheme the stored mode resolves to now.
int resolvedScheme();
// A per-process identity of the record, for the start-up log.
quintptr themeIdentity();
// Fusion with the theme's palette when dark, else the factory look (the
// style and palette the process started with, captured on first use).
void applyAppStyle();

// Style-sheet text helpers: "rgba(r, g, b, a.aaa)" and "Npx".
QString cssColor(const QColor &color);
QString cssPx(double px);

// Process-wide motion policy: reduce-motion flag and the inking gate.
bool reduceMotion();
void setReduceMotion(bool on);
void inkingGateEnter();
void inkingGateLeave();
int inkingGateCount();
// Duration to use for an animation of nominal length ms.
int motionDuration(int ms);
