#include "system/settingsstore.h"

// $XDG_CONFIG_HOME/Lectern/Lectern.conf (~/.config/Lectern/Lectern.conf).
std::unique_ptr<QSettings> openSettingsStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Lectern"), QStringLiteral("Lectern"));
}
