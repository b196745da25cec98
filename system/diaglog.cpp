#include "system/diaglog.h"

// Minimal body until the real log lands: logging stays off.

void initLog() {}
void logLine(const char *, const QString &, const QString &) {}
void logInfo(const QString &category, const QString &message) { logLine("info", category, message); }
bool isLogEnabled() { return false; }
bool setDebugLogEnabled(bool, QString *error)
{
    if (error)
        error->clear();
    return true;
}
QString logFilePath() { return QString(); }
QString logFolder() { return QString(); }
QString logPathFromEnvironment() { return QString(); }
