#pragma once

#include <QString>
#include <QtGlobal>

class QLocale;
class QTranslator;

// Steady-clock instants of the start-up in ns (-1 when not taken), for the
// measuring switches: the top of main(), the application object ready, the
// theme and command line read.
struct StartupMarks
{
    qint64 mainNs = -1;
    qint64 applicationNs = -1;
    qint64 themeNs = -1;
};

// The monotonic clock the marks are taken with.
qint64 steadyClockNs();

// Developer switches that live above the program (the --bench* measuring
// switches, handed in by main()): runs name and returns its exit code, or
// -1 when name is none of them.
using ExtraSwitchRunner = int (*)(const QString &name, const QString &argument,
                                  const QString &secondArgument, const StartupMarks &marks);

// The whole start-up sequence of the program; returns the process exit code.
// mainNs is steadyClockNs() at the top of main().
int runApplication(int argc, char **argv, ExtraSwitchRunner extraSwitches = nullptr, qint64 mainNs = -1);

// Runs the developer switch name with its argument (and the second one of a
// switch that takes two; needs the application object); returns its exit code.
// raster makes --export-pdf write page images.
int runDeveloperSwitch(const QString &name, const QString &argument,
                       const QString &secondArgument = QString(), bool raster = false,
                       ExtraSwitchRunner extraSwitches = nullptr,
                       const StartupMarks &marks = StartupMarks());

// Qt's own dialogs in the user's language: loads "qtbase_<locale>" from Qt's
// translations folder and installs it only when it loaded.
bool installQtTranslation(QTranslator *translator, const QLocale &locale);
