#pragma once

#include <QString>
#include <QStringList>

// Per-user integration with the desktop: the program as an open-with
// candidate for PDF files, annotation packages and Word documents, and the
// start at sign-in. No administrator rights, and the user's default
// programs are never changed here.

// What to do with an integration file of the same name written by someone else.
enum class ForeignFiles { Keep, Replace };

// Makes the program an open-with candidate. With Keep, files of the same
// names that the program did not write are left alone and registering fails.
// Registering again with nothing changed writes nothing.
bool registerFileAssociations(QString *error = nullptr, ForeignFiles foreign = ForeignFiles::Keep);
// The desktop entry a system-wide install (the Debian package) put in the
// system's data folders ($XDG_DATA_DIRS), or empty. While it is there the
// program is already an open-with candidate for every user: registering
// writes no entry of its own and removes one it wrote earlier, so the menu
// never shows the program twice.
QString systemDesktopEntry();
// Removes exactly what registering wrote (files written by others stay).
bool unregisterFileAssociations(QString *error = nullptr);
// The integration files present that the program did not write.
QStringList foreignAssociationFiles();
// Whether this desktop has a default-applications settings page we can open,
// and opening it (false when none could be started).
bool hasDefaultAppsSettings();
bool openDefaultAppsSettings();

// On only when the sign-in entry exists and starts exactly this copy.
bool isAutoStartEnabled();
bool setAutoStart(bool on, QString *error = nullptr);

// The LibreOffice program file the settings page lets the user pick.
QString sofficeFileName();
QString sofficeFileFilter();
