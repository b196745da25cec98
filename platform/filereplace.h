#pragma once

#include <QString>

// Moves the file from to the path to within one folder, replacing a file
// already at to in one step: a reader sees the old file or the new one,
// never neither. False with the system's reason in error.
bool replaceFile(const QString &from, const QString &to, QString *error = nullptr);
