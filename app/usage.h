#pragma once

#include <QString>

// What `lectern --help` prints: how to start the program with files, every
// switch with its argument, and what the exit statuses mean to a script.
QString usageText();
// Prints usageText() on standard output; returns 0.
int printUsage();
// "lectern 0.1.0": what `lectern --version` prints.
QString versionText();
int printVersion();
// An unusable command line: the reason and a pointer to --help on standard
// error; returns kUsageExit.
int printUsageError(const QString &reason);
