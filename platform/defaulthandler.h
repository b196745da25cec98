#pragma once

#include <QString>

// The desktop's default program for a type of file, as the desktop's own
// tools answer it, and the user's pins that keep it. Every call here may
// run those tools (seconds on a busy machine): call them off the GUI thread.

// The program the desktop opens files with.
struct FileHandler
{
    QString entry;              // desktop entry id; empty when there is none
    QString name;               // its display name, or the id
    bool isThisProgram = false; // the entry starts this program (any copy)
};

// Whether a query tool is installed; without one nothing here can tell.
bool canQueryDefaults();
// The desktop entry id the desktop opens mimeType with ("" when none).
QString queryDefaultEntry(const QString &mimeType);
// Who the desktop hands path to.
FileHandler defaultHandlerFor(const QString &path);
// Whether the desktop entry id starts this program.
bool entryStartsThisProgram(const QString &entryId);
// Whether a mimeapps.list (the user's or the system's) names entryId as
// the default for mimeType: a pin our own registration cannot move.
bool isDefaultPinned(const QString &mimeType, const QString &entryId);
// Names entryId as mimeType's default in the user's mimeapps.list, keeping
// everything else in the file; false with a message in error on failure.
bool pinDefault(const QString &mimeType, const QString &entryId, QString *error);
