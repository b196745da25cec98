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
// learns which lesson needs a look. The PDF keeps the original pages with the
// ink laid over them, or with raster holds one picture per page; an
// original the PDF library refuses is exported as pictures too, with a
// note on standard error and status 0.
int runExportSwitch(const QString &name, const QString &input, const QString &output, bool raster = false);

constexpr int kExportFailedExit = 1;
constexpr int kExportDamagedExit = 4;
