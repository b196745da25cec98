#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// The user's store: the registry key on Windows, the INI file
// $XDG_CONFIG_HOME/Lectern/Lectern.conf on Linux. Every call opens its own.
std::unique_ptr<QSettings> openSettingsStore();

// Flushes the store and reports its status: true and error cleared, or false
// with failureMessage in error.
bool commitSettingsStore(QSettings &store, const QString &failureMessage, QString *error);
