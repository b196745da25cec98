#pragma once

#include <QString>

// Where the program keeps its own files for the user who runs it. Each
// folder is private to that user; nothing of value ever lives below /tmp,
// which a reboot empties and every account shares.

// Recovery data that must outlive a crash and a reboot (working copies).
QString userStateFolder();
// Files the program can make again (extracted package PDFs, conversions,
// picture wrappers, private copies of open PDFs).
QString userCacheFolder();
// Sockets and other files that live only while the program runs.
QString userRuntimeFolder();
// Where earlier versions kept all of the above; empty where they did not
// use a shared folder.
QString legacyTempFolder();

// Creates folder and its missing parents for this user alone (mode 0700) and
// makes sure it is a real folder owned by the user, not a link planted by
// someone else. error gets a Chinese message.
bool makePrivateFolder(const QString &folder, QString *error = nullptr);
// Whether path is a regular file (not a link) that belongs to this user.
bool isOwnRegularFile(const QString &path);
