#pragma once

#include <QSettings>
#include <QString>

#include <functional>
#include <memory>

// The user's store: the registry key on Windows, the INI file
// $XDG_CONFIG_HOME/Lectern/Lectern.conf on Linux. Every call opens its own.
std::unique_ptr<QSettings> openSettingsStore();

// Applies change to a fresh store, flushes it and reports its status: true
// and error cleared, or false with failureMessage in error.
bool writeSettingsStore(const std::function<void(QSettings &)> &change,
                        const QString &failureMessage, QString *error);
