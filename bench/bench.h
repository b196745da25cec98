#pragma once

#include <QString>

// Developer measuring switches. Each prints key=value lines on standard
// output and returns the process exit code.
int runRenderBench(const QString &file);     // --bench
int runOpenBench(const QString &file);       // --bench-open
int runPaintBench(const QString &file);      // --bench-paint
int runThemeBench(const QString &file);      // --bench-theme
// The page grid's figures on a long document (part of --bench); a file
// shorter than that is replaced by a generated one.
int runGridBench(const QString &file);
