#pragma once

#include <QString>

class QLocale;
class QTranslator;

// Developer switches that live above the program (the --bench* measuring
// switches, handed in by main()): runs name and returns its exit code, or
// -1 when name is none of them.
using ExtraSwitchRunner = int (*)(const QString &name, const QString &argument,
                                  const QString &secondArgument);

// The whole start-up sequence of the program; returns the process exit code.
int runApplication(int argc, char **argv, ExtraSwitchRunner extraSwitches = nullptr);

// Runs the developer switch name with its argument (and the second one of a
// switch that takes two; needs the application object); returns its exit code.
// raster makes --export-pdf write page images.
int runDeveloperSwitch(const QString &name, const QString &argument,
                       const QString &secondArgument = QString(), bool raster = false,
                       ExtraSwitchRunner extraSwitches = nullptr);

// Qt's own dialogs in the user's language: loads "qtbase_<locale>" from Qt's
// translations folder and installs it only when it loaded.
bool installQtTranslation(QTranslator *translator, const QLocale &locale);
