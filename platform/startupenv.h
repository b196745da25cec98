#pragma once

#include <QString>

// What start-up needs to know about the system before the application object
// exists. Each platform file supplies its own answers.

// The program's local data folder ("…/Lectern"), usable before QApplication:
// %LOCALAPPDATA%\Lectern on Windows, $XDG_DATA_HOME/Lectern or
// ~/.local/share/Lectern elsewhere.
QString startupDataFolder();

// The text after "系统：" in the start-up log header, e.g.
// "Windows 10.0 build 19045" or "Linux 6.1 build 0 (Debian GNU/Linux 12 (bookworm))".
QString systemVersionText();

// Folder of the running executable, empty when it cannot be told.
QString executableFolder();

// The platform plug-in whose imports are probed at start-up, or empty when
// none is found. On Linux the bundled or installed xcb plug-in.
QString platformPluginPath();

// Names the first dependency of the platform plug-in that cannot be loaded;
// empty when nothing is missing (or nothing was probed).
QString probePlatformPlugin(const QString &pluginPath);

// True when the system offers every interface the user interface needs
// (fills the version numbers it judged). Linux has nothing to check.
bool systemInterfacesPresent(int *major, int *minor, int *build);

// Shows the too-old message without any application object.
void showSystemTooOldMessage(const QString &title, const QString &text);

// Distinguishes users sharing one machine: the numeric user id on Unix.
QString currentUserTag();

// Developer switches print to the console they were started from; a GUI
// program on Windows has none of its own until it attaches to its parent's.
void attachParentConsole();

// A file-size limit (ulimit -f) must fail a write with its message, not
// kill the program in the middle of an export with SIGXFSZ.
void ignoreFileSizeSignal();
