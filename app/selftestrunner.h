#pragma once

#include <QString>

// The area self-tests a technician runs on an installed board: --selftest-ink,
// -tileclip, -popup, -scroll, -log, -ui, -dialog, -home, and --selftest, which
// runs every self-test that needs no argument, each in its own process, and
// sums up. Each prints "PASS area: …" / "FAIL area: …" lines on standard
// output. Returns the exit code (0 all passed, 1 something failed), or -1
// when name is none of them.
int runAreaSelfTest(const QString &name, const QString &argument);
