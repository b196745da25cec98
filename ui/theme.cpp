#include "ui/theme.h"

#include "ui/themeschemes.h"
#include "platform/colorscheme.h"
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

struct FactoryLook
{
    QPalette palette;
    QString style;
};

// The system's look as the process found it, before any theme touched it.
const FactoryLook &factoryLook()
{
    static const FactoryLook look = [] {
        QString name = QApplication::style() ? QApplication::style()->objectName() : QString();
        if (name.isEmpty())
            name = QStringLiteral("windowsvista");
        return FactoryLook{QApplication::palette(), name};
    }();
    return look;
}

// While our dark palette is installed the application palette no longer
// shows the system's; its last verdict is kept.
bool g_ownPalette = false;
bool g_systemPaletteDark = false;
// The system's look changed since its palette was last read.
bool g_systemPaletteStale = false;

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
    const unsigned char *s = kThemeSchemes[preset * 4 + style][dark ? 1 : 0];
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
    static_assert(sizeof(roles) / sizeof(roles[0]) == kThemeRoleCount);
    for (int i = 0; i < kThemeRoleCount; ++i)
        *roles[i] = QColor(s[3 * i], s[3 * i + 1], s[3 * i + 2]);

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

bool systemPaletteDark()
{
    if (qApp && !g_ownPalette) {
        g_systemPaletteDark = paletteIsDark(QGuiApplication::palette());
        g_systemPaletteStale = false;
    }
    return g_systemPaletteDark;
}

bool systemPrefersDark()
{
    // Qt 6.4 has no QStyleHints::colorScheme(): the desktop's setting first,
    // else the system palette.
    switch (desktopColorScheme()) {
    case DesktopScheme::Dark:
        return true;
    case DesktopScheme::Light:
        return false;
    case DesktopScheme::Unknown:
        break;
    }
    return systemPaletteDark();
}

void noteSystemAppearanceChanged() { g_systemPaletteStale = true; }

void rereadSystemPalette()
{
    // Only the fallback of mode 0 reads the palette, and only a palette of
    // our own hides the system's.
    if (!g_systemPaletteStale || !g_ownPalette || themeMode() > 0
        || desktopColorScheme() != DesktopScheme::Unknown
        || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    // An empty resolve mask takes every role from the platform again.
    QPalette system = factoryLook().palette;
    system.setResolveMask(0);
    QApplication::setPalette(system);
    g_ownPalette = false;
    g_systemPaletteStale = false;
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
    const FactoryLook &factory = factoryLook();
    const bool dark = resolvedScheme() == 2;
    const QString wanted = dark ? QStringLiteral("Fusion") : factory.style;
    if (QApplication::style()->objectName().compare(wanted, Qt::CaseInsensitive) != 0) {
        if (QStyle *style = QStyleFactory::create(wanted))
            QApplication::setStyle(style);
    }
    if (!dark) {
        QApplication::setPalette(factory.palette);
        g_ownPalette = false;
        return;
    }
    // Remember what the system says before our palette hides it.
    systemPaletteDark();
    const Theme &t = theme();
    QPalette p = factory.palette;
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
    g_ownPalette = true;
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
