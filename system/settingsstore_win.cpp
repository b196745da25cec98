#include "system/settingsstore.h"

// The values live directly under the program's key, not in an
// organisation/application pair of keys.
std::unique_ptr<QSettings> openSettingsStore()
{
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Lectern"),
                                       QSettings::NativeFormat);
}
