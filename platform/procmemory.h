#pragma once

#include <QtGlobal>

// The process's memory figures for the status bar: resident set (working
// set) and anonymous resident memory (private bytes). Both 0 when unknown.
struct ProcessMemory
{
    qint64 workingSetBytes = 0;
    qint64 privateBytes = 0;
    bool ok = false;
};

ProcessMemory readProcessMemory();
// Parses the text of /proc/<pid>/status ("VmRSS" and "RssAnon", in kB).
ProcessMemory parseProcStatus(const QByteArray &status);
