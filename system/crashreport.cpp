#include "system/crashreport.h"

// Minimal body until the real crash reporter lands.

void installCrashHandler() {}
QString crashFolder() { return QString(); }
void recordOperation(const char *, const QString &) {}
int runCrashSelfTest(const QString &) { return 1; }
