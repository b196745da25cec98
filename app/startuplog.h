#pragma once

#include <QString>
#include <QTime>
#include <QtGlobal>

// The start-up log: rewritten at every start before anything else can fail,
// so a program that never shows a window still leaves a trace behind.

// "<local data folder>/logs/startup.log".
QString startupLogPath();

// Creates the folder, truncates the file and writes the header, the platform
// plug-in report and the system-interface verdict; then installs the message
// handler (always, even when the file could not be opened). Returns whether
// the file is open.
bool writeStartupLog();

// Set by writeStartupLog when the system lacks an interface the interface needs.
bool systemTooOld();

// The first two lines of the log, ending with a line feed.
QString startupLogHeader(const QString &systemText);

// Appends "随包运行库：\n" and the bytes of runtimeListPath when both files open.
bool appendRuntimeList(const QString &runtimeListPath);

// One message line: "[HH:mm:ss.zzz] level: text\n".
QString formatMessageLine(QtMsgType type, const QTime &time, const QString &text);

// Whether a Qt message of this type is also written to standard error:
// warnings and errors only; debug and info lines go to the log files.
bool reachesTerminal(QtMsgType type);

// Writes one line to the open log (flushed); safe from any thread.
void writeStartupLogLine(const QString &line);
