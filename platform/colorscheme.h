#pragma once

#include <QPalette>

#include <functional>

class QObject;

// What the desktop asks for: light or dark colours, or no preference.
enum class DesktopScheme { Unknown, Light, Dark };

// The freedesktop "color-scheme" value (0 none, 1 dark, 2 light).
DesktopScheme schemeFromPortalValue(uint value);

// The desktop's appearance preference as its settings service tells it
// (on Windows the apps' light-theme value). Asked once without waiting,
// Unknown until the answer comes (the watchers are then told, as for a
// change), then kept current by the service's change signal; Unknown
// without a session bus, a portal or a preference.
DesktopScheme desktopColorScheme();

// The fallback: a palette whose window colour is dark.
bool paletteIsDark(const QPalette &palette);

// Calls `changed` on the GUI thread, once per burst, whenever the desktop's
// preference may have changed: the service's signal or a system theme
// change. Ends with `context`.
void watchDesktopColorScheme(QObject *context, std::function<void()> changed);
