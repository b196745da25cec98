#pragma once

#include <QString>

// The command-line exports: --export-pdf INPUT OUTPUT.pdf and --export-png
// INPUT OUTPUT-BASE. INPUT is opened as the open flow opens it, without a
// window and without contacting a running instance; the same export
// functions as the save-as flow write the result. Prints one line per
// written file on standard output and returns 0, or prints the Chinese
// message on standard error and returns 1.
int runExportSwitch(const QString &name, const QString &input, const QString &output);
