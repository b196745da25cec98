#pragma once

#include <QString>

// Optional diagnostic log: timed lines under the local data folder, switched
// on by the DebugLog setting or the LECTERN_LOG variable. Safe from any thread.

void initLog();
void logLine(const char *level, const QString &category, const QString &message);
void logInfo(const QString &category, const QString &message);
bool isLogEnabled();
bool setDebugLogEnabled(bool on, QString *error = nullptr);
QString logFilePath();
QString logFolder();
QString logPathFromEnvironment();
