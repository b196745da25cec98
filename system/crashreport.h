#pragma once

#include <QString>

// Crash reporting: a lock-free ring of the last 24 operations and the
// handlers that write a report plus a dump when the process dies.

void installCrashHandler();
QString crashFolder();
// Records one operation in the ring; tag may be null. Safe from any thread.
void recordOperation(const char *tag, const QString &text);
// --selftest-crash: installs the handler and crashes in the named way
// ("stack", "segv", "readonly", "abort", "terminate", "qfatal"). Returns
// only for an unknown kind.
int runCrashSelfTest(const QString &kind);
