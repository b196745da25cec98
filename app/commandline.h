#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for: the files to open and at most one
// switch with its argument.
struct CommandLine
{
    QStringList files;      // qualifying file arguments, command-line order, unchanged
    QString devSwitch;      // the switch that runs, empty when none
    QString switchArgument; // its argument (or its default), empty when it takes none
    QString secondArgument; // the second argument of a switch that takes two
    bool raster = false;    // --raster: --export-pdf writes page images
    QString error;          // why the command line cannot run (an unknown switch …), empty when it can
    QStringList notices;    // switches that were ignored, one sentence each
};

// Whether one argument names a file the command line accepts: never an
// argument starting with "-"; otherwise a ".pdf" or ".dpz" suffix in any
// letter case, an office document (Word, deck, other text), or a picture:
// "Open with" on a photo must not start an empty window.
bool isCommandLineFile(const QString &argument);

// arguments as QCoreApplication::arguments(): the program itself first.
// Switch names are exact and case-sensitive; a value comes either as the
// next argument or after "=" ("--bench a.pdf", "--bench=a.pdf"); "--" ends
// the switches. When several switches are present the first in table order
// runs. One that needs a following argument and has none is ignored (with
// a notice). An unknown "--name" is an error; single-dash arguments belong
// to Qt and the session manager and are left alone. "--raster" qualifies
// the export wherever it stands and is never taken as a value.
CommandLine parseCommandLine(const QStringList &arguments);

// files made absolute against the current folder, order kept.
QStringList absoluteFilePaths(const QStringList &files);

// The switch names in table order (for tests and usage text).
QStringList developerSwitchNames();

// One switch as the usage text shows it.
struct SwitchHelp
{
    QString name;
    QString argument; // how its argument is called, empty when it takes none
    QString text;     // what it does, in Chinese
};
QList<SwitchHelp> switchHelp();

// "--new-board KIND" travels to the window (and to a running one) as this
// text in place of a file path; no path looks like it.
QString newBoardRequest(const QString &kind);
bool isNewBoardRequest(const QString &message, QString *kind);

// Exit status for a command line that cannot run (BSD's EX_USAGE).
constexpr int kUsageExit = 64;
