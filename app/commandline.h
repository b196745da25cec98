#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for: the files to open and at most one
// developer switch with its argument.
struct CommandLine
{
    QStringList files;      // qualifying file arguments, command-line order, unchanged
    QString devSwitch;      // the switch that runs, empty when none
    QString switchArgument; // its argument (or its default), empty when it takes none
    QString secondArgument; // the second argument of a switch that takes two
    bool raster = false;    // --raster: --export-pdf writes page images
};

// Whether one argument names a file the command line accepts: never an
// argument starting with "-"; otherwise a ".pdf", ".dpz", ".docx" or ".doc"
// suffix in any letter case, or a picture: "Open with" on a photo must not
// start an empty window.
bool isCommandLineFile(const QString &argument);

// arguments as QCoreApplication::arguments(): the program itself first.
// Switches are matched exactly and tried in table order; one that needs a
// following argument and has none is ignored. "--raster" qualifies the
// export wherever it stands and is never taken as an argument.
CommandLine parseCommandLine(const QStringList &arguments);

// files made absolute against the current folder, order kept.
QStringList absoluteFilePaths(const QStringList &files);

// The switch names in table order (for tests and usage text).
QStringList developerSwitchNames();
