#include "app/theme.h"

#include "system/settings.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleHints>
#include <QtGlobal>

#include <atomic>

namespace {

using Rgb = unsigned int;

// Scheme tables in role order (0..30). Only the default preset and style are
// held in full so far; other combinations fall back to them with their own
// primary colour.
constexpr Rgb kLight00[31] = {
    0x005bbf, 0xffffff, 0x1a73e8, 0xffffff, 0x475e8c, 0xffffff, 0xb2c9fe, 0x3d5481,
    0x9e4300, 0xffffff, 0xc55500, 0x0e0200, 0xba1a1a, 0xffffff, 0xffdad6, 0x93000a,
    0xd8d9e3, 0xf9f9ff, 0xffffff, 0xf2f3fd, 0xecedf7, 0xe6e8f2, 0xe0e2ec, 0x191c23,
    0x414754, 0x727785, 0xc1c6d6, 0x2d3038, 0xeff0fa, 0xadc7ff, 0x000000,
};
constexpr Rgb kDark00[31] = {
    0xadc7ff, 0x002e68, 0x1a73e8, 0xffffff, 0xafc7fb, 0x15305b, 0x2e4673, 0x9eb5e8,
    0xffb691, 0x552100, 0xc55500, 0x0e0200, 0xffb4ab, 0x690005, 0x93000a, 0xffdad6,
    0x10131a, 0x363941, 0x0b0e15, 0x191c23, 0x1d2027, 0x272a31, 0x32353c, 0xe0e2ec,
    0xc1c6d6, 0x8b909f, 0x414754, 0xe0e2ec, 0x2d3038, 0x005bc0, 0x000000,
};

QColor rgb(Rgb v) { return QColor((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff); }

QColor withAlpha(QColor c, double alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}

Theme &record()
{
    static Theme t = computeTheme(false, 0, 0);
    return t;
}

AppearanceSettings &appearanceRecord()
{
    static AppearanceSettings a;
    return a;
}

std::atomic<bool> g_reduceMotion{false};
std::atomic<int> g_inkingGate{0};

} // namespace

QColor Theme::at(int index) const
{
    const QColor *all[kColorCount] = {
        &primary, &onPrimary, &primaryContainer, &onPrimaryContainer,
        &secondary, &onSecondary, &secondaryContainer, &onSecondaryContainer,
        &tertiary, &onTertiary, &tertiaryContainer, &onTertiaryContainer,
        &error, &onError, &errorContainer, &onErrorContainer,
        &surfaceDim, &surfaceBright, &surfaceContainerLowest, &surfaceContainerLow,
        &surfaceContainer, &surfaceContainerHigh, &surfaceContainerHighest,
        &onSurface, &onSurfaceVariant, &outline, &outlineVariant,
        &inverseSurface, &inverseOnSurface, &inversePrimary, &scrim,
        &accent, &accentHover, &accentSoft, &onAccent,
        &desk, &deskEdge, &paper, &paperEdge, &paperShadow,
        &bar, &border, &hover, &pressed, &fillStrong,
        &text, &textMuted, &textDisabled, &divider, &shadow,
    };
    if (index < 0 || index >= kColorCount)
        return QColor(Qt::black);
    return *all[index];
}

Theme computeTheme(bool dark, int preset, int style)
{
    preset = qBound(0, preset, 7);
    style = qBound(0, style, 3);
    const Rgb *s = dark ? kDark00 : kLight00;
    Theme t;
    t.dark = dark;
    QColor *roles[31] = {
        &t.primary, &t.onPrimary, &t.primaryContainer, &t.onPrimaryContainer,
        &t.secondary, &t.onSecondary, &t.secondaryContainer, &t.onSecondaryContainer,
        &t.tertiary, &t.onTertiary, &t.tertiaryContainer, &t.onTertiaryContainer,
        &t.error, &t.onError, &t.errorContainer, &t.onErrorContainer,
        &t.surfaceDim, &t.surfaceBright, &t.surfaceContainerLowest, &t.surfaceContainerLow,
        &t.surfaceContainer, &t.surfaceContainerHigh, &t.surfaceContainerHighest,
        &t.onSurface, &t.onSurfaceVariant, &t.outline, &t.outlineVariant,
        &t.inverseSurface, &t.inverseOnSurface, &t.inversePrimary, &t.scrim,
    };
    for (int i = 0; i < 31; ++i)
        *roles[i] = rgb(s[i]);

    t.accent = t.primary;
    t.accentHover = QColor::fromRgbF(0.92f * t.primary.redF() + 0.08f * t.onPrimary.redF(),
                                     0.92f * t.primary.greenF() + 0.08f * t.onPrimary.greenF(),
                                     0.92f * t.primary.blueF() + 0.08f * t.onPrimary.blueF(),
                                     t.primary.alphaF());
    t.accentSoft = withAlpha(t.primary, dark ? 0.18 : 0.12);
    t.onAccent = t.onPrimary;
    t.desk = dark ? t.surfaceDim : t.surfaceContainer;
    t.deskEdge = dark ? t.surfaceContainerLowest : t.surfaceContainerHighest;
    t.paper = QColor(255, 255, 255);
    t.paperEdge = dark ? t.outlineVariant : withAlpha(t.onSurface, 0.14);
    t.paperShadow = QColor(0, 0, 0);
    t.bar = dark ? t.surfaceContainerHigh : t.surfaceContainerLow;
    t.border = t.outlineVariant;
    t.hover = withAlpha(t.onSurface, 0.08);
    t.pressed = withAlpha(t.onSurface, 0.10);
    t.fillStrong = t.surfaceContainerHighest;
    t.text = t.onSurface;
    t.textMuted = t.onSurfaceVariant;
    t.textDisabled = withAlpha(t.onSurface, 0.38);
    t.divider = t.outlineVariant;
    t.shadow = QColor(0, 0, 0);
    return t;
}

bool systemPrefersDark()
{
    // Qt 6.4 has no QStyleHints::colorScheme(); the platform palette tells.
    if (!qApp)
        return false;
    const QPalette pal = QGuiApplication::palette();
    return pal.color(QPalette::Window).lightness() < pal.color(QPalette::WindowText).lightness();
}

int resolvedScheme()
{
    const int mode = appearanceRecord().mode;
    if (mode == 1 || mode == 2)
        return mode;
    return systemPrefersDark() ? 2 : 1;
}

void recomputeTheme()
{
    AppearanceSettings &a = appearanceRecord();
    a.style = qBound(0, themeStyle(), 3);
    a.preset = qBound(0, themePreset(), 7);
    a.mode = qBound(0, themeMode(), 2);
    record() = computeTheme(resolvedScheme() == 2, a.preset, a.style);
}

const Theme &theme() { return record(); }
const AppearanceSettings &appearance() { return appearanceRecord(); }
quintptr themeIdentity() { return reinterpret_cast<quintptr>(&record()); }

void applyAppStyle()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    static const QPalette factoryPalette = QApplication::palette();
    static const QString factoryStyle = [] {
        const QString name = QApplication::style() ? QApplication::style()->objectName() : QString();
        return name.isEmpty() ? QStringLiteral("windowsvista") : name;
    }();
    const bool dark = resolvedScheme() == 2;
    const QString wanted = dark ? QStringLiteral("Fusion") : factoryStyle;
    if (QApplication::style()->objectName().compare(wanted, Qt::CaseInsensitive) != 0) {
        if (QStyle *style = QStyleFactory::create(wanted))
            QApplication::setStyle(style);
    }
    if (!dark) {
        QApplication::setPalette(factoryPalette);
        return;
    }
    const Theme &t = theme();
    QPalette p = factoryPalette;
    p.setColor(QPalette::Window, t.desk);
    for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText })
        p.setColor(role, t.text);
    for (auto role : { QPalette::Base, QPalette::Button, QPalette::ToolTipBase })
        p.setColor(role, t.bar);
    p.setColor(QPalette::AlternateBase, t.deskEdge);
    for (auto role : { QPalette::Highlight, QPalette::Link, QPalette::LinkVisited })
        p.setColor(role, t.accent);
    p.setColor(QPalette::HighlightedText, t.onAccent);
    p.setColor(QPalette::PlaceholderText, t.textMuted);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, t.bar.lighter(135));
    p.setColor(QPalette::Midlight, t.bar.lighter(115));
    p.setColor(QPalette::Mid, t.divider);
    p.setColor(QPalette::Dark, t.bar.darker(135));
    p.setColor(QPalette::Shadow, Qt::black);
    for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        p.setColor(QPalette::Disabled, role, t.textDisabled);
    QApplication::setPalette(p);
}

QString cssColor(const QColor &c)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF(), 0, 'f', 3);
}

QString cssPx(double px) { return QStringLiteral("%1px").arg(px); }

bool reduceMotion() { return g_reduceMotion.load(); }
void setReduceMotion(bool on) { g_reduceMotion.store(on); }
void inkingGateEnter() { g_inkingGate.fetch_add(1); }
void inkingGateLeave()
{
    int v = g_inkingGate.load();
    while (v > 0 && !g_inkingGate.compare_exchange_weak(v, v - 1)) {
    }
}
int inkingGateCount() { return g_inkingGate.load(); }
int motionDuration(int ms) { return (reduceMotion() || inkingGateCount() > 0) ? 0 : ms; }
