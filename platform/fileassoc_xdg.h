#pragma once

#include <QByteArray>
#include <QString>

// Helpers shared by the XDG desktop-entry integrations (open-with and
// sign-in entries).
namespace Xdg {

// $XDG_DATA_HOME or ~/.local/share; $XDG_CONFIG_HOME or ~/.config.
QString dataHome();
QString configHome();

// The program path as one quoted Exec argument, escaped as the value is
// written in the file.
QString execQuoted(const QString &program);

// The raw value of key in the [Desktop Entry] group, or a null string.
QString entryValue(const QByteArray &content, const QString &key);

// The key every entry of ours carries, so we never take over someone else's.
inline QString ownerKey() { return QStringLiteral("X-Lectern-Owner"); }
bool isOurEntry(const QByteArray &content);

// Writes content atomically unless the file already holds exactly it.
// changed tells whether anything was written.
bool writeIfDifferent(const QString &path, const QByteArray &content, bool *changed,
                      QString *error, const QString &failure);
// Removes path if present; false (with failure in error) when it stays.
bool removeFile(const QString &path, QString *error, const QString &failure);

} // namespace Xdg
