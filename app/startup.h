#pragma once

#include <QString>

// The whole start-up sequence of the program; returns the process exit code.
int runApplication(int argc, char **argv);

// Runs the developer switch name with its argument (needs the application
// object); returns its exit code.
int runDeveloperSwitch(const QString &name, const QString &argument);
