#pragma once

#include <QString>

// The command-line exports: --export-pdf INPUT OUTPUT.pdf and --export-png
// INPUT OUTPUT-BASE. INPUT is opened as the open flow opens it, without a
// window and without contacting a running instance; the same export
// functions as the save-as flow write the result. Prints one line per
// written file on standard output and returns 0, or prints the Chinese
// message on standard error and returns 1. A package that failed its checks
// is still exported (as the window shows it), but its warning goes to
// standard error and the exit status is kExportDamagedExit, so a script
// learns which lesson needs a look.
int runExportSwitch(const QString &name, const QString &input, const QString &output);

constexpr int kExportFailedExit = 1;
constexpr int kExportDamagedExit = 4;
