#pragma once

#include <QString>

// --selftest-smoke FILE: opens FILE in a real main window, reports the
// strokes it came back with, writes three strokes with mouse events on the
// first page and then keeps running like an ordinary session (close the
// window to end it). Lines on standard output:
//   smoke: restored_strokes=N
//   smoke: strokes=M
//   PASS smoke: ... | FAIL smoke: ...
int runSmokeSelfTest(const QString &file);
