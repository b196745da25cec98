#pragma once

#include <QString>

// What `lectern --help` prints: how to start the program with files, the
// command-line exports and what their exit statuses mean to a script.
QString usageText();
// Prints usageText() on standard output; returns 0.
int printUsage();
