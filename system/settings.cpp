#include "system/settings.h"

// Minimal bodies until the real settings store lands: every value reads as
// its default and nothing is stored.

namespace {
bool noStore(QString *error)
{
    if (error)
        error->clear();
    return true;
}
} // namespace

int themeMode() { return 0; }
bool setThemeMode(int, QString *error) { return noStore(error); }
int themePreset() { return 0; }
bool setThemePreset(int, QString *error) { return noStore(error); }
int themeStyle() { return 0; }
bool setThemeStyle(int, QString *error) { return noStore(error); }
int toolbarStyle() { return 0; }
bool setToolbarStyle(int, QString *error) { return noStore(error); }
int wordOpenMode() { return 0; }
bool setWordOpenMode(int, QString *error) { return noStore(error); }
int wordConvertEngine() { return 0; }
bool setWordConvertEngine(int, QString *error) { return noStore(error); }
bool wordNagFix() { return true; }
bool setWordNagFix(bool, QString *error) { return noStore(error); }
bool palmEraser() { return false; }
bool setPalmEraser(bool, QString *error) { return noStore(error); }
bool reduceMotionSetting() { return false; }
bool setReduceMotionSetting(bool, QString *error) { return noStore(error); }
bool debugLogSetting() { return false; }
bool setDebugLogSetting(bool, QString *error) { return noStore(error); }
QString defaultSavePath() { return QString(); }
bool setDefaultSavePath(const QString &, QString *error) { return noStore(error); }
QString libreOfficePath() { return QString(); }
bool setLibreOfficePath(const QString &, QString *error) { return noStore(error); }
QStringList readRecentFiles() { return {}; }
bool addRecentFile(const QString &, QString *error) { return noStore(error); }
bool removeRecentFile(const QString &, QString *error) { return noStore(error); }
bool clearRecentFiles(QString *error) { return noStore(error); }
