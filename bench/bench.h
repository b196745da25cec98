#pragma once

#include <QString>

struct StartupMarks;

// Developer measuring switches. Each prints key=value lines on standard
// output and returns the process exit code.

// Runs the measuring switch name; -1 when name is none of them.
int runBenchSwitch(const QString &name, const QString &argument, const QString &secondArgument,
                   const StartupMarks &marks);

int runRenderBench(const QString &file);     // --bench
// --bench-open: a PDF, package or picture opened by the real window, with
// the start-up broken down from main() and the plain-QtPdf reference run
// as a child; a folder runs every PDF below it that way and prints medians.
int runOpenBench(const QString &file, const StartupMarks &marks);
// --bench-forward: a second process hands file to this running window.
int runForwardBench(const QString &file);
// The child of --bench-open: application, QPdfDocument load and page 1 at
// argv[3] × argv[4] device pixels, with nothing of the program's own.
constexpr char kRawOpenSwitch[] = "--bench-raw-open";
int runRawOpenBench(int argc, char **argv, qint64 mainNs);
int runPaintBench(const QString &file);      // --bench-paint
int runExportBench(const QString &file);     // --bench-export
int runDocxBench(const QString &file);       // --bench-docx
int runThemeBench(const QString &file);      // --bench-theme
// Page transitions at 4K, twenty long documents through their tabs and the
// home page with dead recent entries; files are made below folder.
int runShellBench(const QString &folder);    // --bench-shell
// The page grid's figures on a long document (part of --bench); a file
// shorter than that is replaced by a generated one.
int runGridBench(const QString &file);
// One working-copy write on a large PDF (generated when file is missing).
int runWorkingCopyBench(const QString &file); // --bench-workingcopy
// A new board to its first paint, and a blank page put into a big book and
// saved against saving it without (--bench-board).
int runBoardBench(const QString &file);
