#pragma once

#include "platform/crashtext.h"

// The operating system's side of crash reporting. Everything but the
// installation runs inside a crash: no heap, no locks.

// Fatal-signal handlers on an alternate stack, so a stack overflow still reports.
void installPlatformCrashHandlers();

// Writes "crash-PID-MS.log" (the report text) and "crash-PID-MS.dmp" into
// folder (native path bytes). context is the signal's machine context or null.
void writeCrashFiles(const char *folder, const CrashInfo &info, const void *context);

[[noreturn]] void exitProcessNow(int exitCode);

// Identifies the calling thread; async-signal-safe.
quint64 currentThreadToken();
void pauseOneMillisecond();
