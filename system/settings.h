#pragma once

#include <QString>
#include <QStringList>

// The user's preferences, read afresh at every call and written at once.
// Setters return false and fill error with the Chinese message when the
// store reports a failure after flushing.

int themeMode();
bool setThemeMode(int value, QString *error = nullptr);
int themePreset();
bool setThemePreset(int value, QString *error = nullptr);
int themeStyle();
bool setThemeStyle(int value, QString *error = nullptr);
int toolbarStyle();
bool setToolbarStyle(int value, QString *error = nullptr);
int wordOpenMode();
bool setWordOpenMode(int value, QString *error = nullptr);
int wordConvertEngine();
bool setWordConvertEngine(int value, QString *error = nullptr);
bool wordNagFix();
bool setWordNagFix(bool on, QString *error = nullptr);
bool palmEraser();
bool setPalmEraser(bool on, QString *error = nullptr);
bool reduceMotionSetting();
bool setReduceMotionSetting(bool on, QString *error = nullptr);
bool debugLogSetting();
bool setDebugLogSetting(bool on, QString *error = nullptr);
// How "注入 PDF" is written: 0 keeps the original pages, 1 page images.
int pdfExportMode();
bool setPdfExportMode(int value, QString *error = nullptr);
QString defaultSavePath();
bool setDefaultSavePath(const QString &path, QString *error = nullptr);
// The last board chosen: its kind's key ("grid" …) and whether it is the
// dark green board.
QString boardKindSetting();
bool setBoardKindSetting(const QString &key, QString *error = nullptr);
bool boardChalkSetting();
bool setBoardChalkSetting(bool on, QString *error = nullptr);
QString libreOfficePath();
bool setLibreOfficePath(const QString &path, QString *error = nullptr);

QStringList readRecentFiles();
bool addRecentFile(const QString &path, QString *error = nullptr);
bool removeRecentFile(const QString &path, QString *error = nullptr);
bool clearRecentFiles(QString *error = nullptr);
