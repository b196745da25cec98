#include "app/themecheck.h"

#include "ui/theme.h"

#include <QtMath>

#include <cstdio>

namespace {

constexpr double kMinTextContrast = 4.5;
constexpr double kMinAccentContrast = 3.0;

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : qPow((channel + 0.055) / 1.055, 2.4);
}

QStringList modeViolations(const Theme &t, const char *mode)
{
    QStringList faults;
    const QString name = QString::fromLatin1(mode);
    if (t.paper != QColor(255, 255, 255))
        faults << QStringLiteral("%1 paper %2 is not white").arg(name, t.paper.name());
    const double text = contrastRatio(t.onSurface, t.bar);
    if (text < kMinTextContrast)
        faults << QStringLiteral("%1 onSurface on bar %2 < 4.5").arg(name).arg(text, 0, 'f', 2);
    const double accent = contrastRatio(t.onPrimary, t.primary);
    if (accent < kMinAccentContrast)
        faults << QStringLiteral("%1 onPrimary on primary %2 < 3").arg(name).arg(accent, 0, 'f', 2);
    return faults;
}

} // namespace

double relativeLuminance(const QColor &color)
{
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF())
        + 0.0722 * linear(color.blueF());
}

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QStringList themeViolations(const Theme &light, const Theme &dark)
{
    QStringList faults = modeViolations(light, "light") + modeViolations(dark, "dark");
    if (relativeLuminance(dark.desk) >= relativeLuminance(light.desk))
        faults << QStringLiteral("dark desk %1 is not darker than light desk %2")
                      .arg(dark.desk.name(), light.desk.name());
    if (relativeLuminance(dark.text) <= relativeLuminance(light.text))
        faults << QStringLiteral("dark text %1 is not lighter than light text %2")
                      .arg(dark.text.name(), light.text.name());
    return faults;
}

int runThemeSelfTest()
{
    int failed = 0;
    for (int preset = 0; preset < 8; ++preset) {
        for (int style = 0; style < 4; ++style) {
            const Theme light = computeTheme(false, preset, style);
            const Theme dark = computeTheme(true, preset, style);
            const QStringList faults = themeViolations(light, dark);
            for (const Theme *t : {&light, &dark}) {
                const bool isDark = t == &dark;
                const QString mode = QString::fromLatin1(isDark ? "dark" : "light");
                QStringList mine;
                for (const QString &fault : faults) {
                    // Faults comparing the two modes are worded from the dark side.
                    if (fault.startsWith(mode))
                        mine << fault;
                }
                const QString line = QStringLiteral("%1 theme preset=%2 style=%3 %4 primary=%5 desk=%6 "
                                                    "bar=%7 text/bar=%8 onPrimary/primary=%9%10")
                    .arg(mine.isEmpty() ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
                    .arg(preset).arg(style).arg(mode, t->primary.name(), t->desk.name(), t->bar.name())
                    .arg(contrastRatio(t->onSurface, t->bar), 0, 'f', 2)
                    .arg(contrastRatio(t->onPrimary, t->primary), 0, 'f', 2)
                    .arg(mine.isEmpty() ? QString() : QStringLiteral(" : ") + mine.join(QStringLiteral("; ")));
                std::printf("%s\n", qPrintable(line));
                failed += mine.isEmpty() ? 0 : 1;
            }
        }
    }
    std::printf("%s theme: %d of 64 schemes sound\n", failed ? "FAIL" : "PASS", 64 - failed);
    std::fflush(stdout);
    return failed ? 1 : 0;
}
