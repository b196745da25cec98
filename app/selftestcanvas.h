#pragma once

#include <QString>

// The canvas's self-tests on the real display, each in a real main window.
// --selftest-ink FILE: three strokes with the mouse on a private copy of FILE
// (the teacher's own file and its working copy stay untouched): captured,
// painted where drawn, undone and cleared.
int runInkSelfTest(const QString &file);
// --selftest-tileclip [FOLDER]: a page filled edge to edge, shown at uneven
// zooms, must come out of its tiles without a seam or gap; screenshots go
// to FOLDER.
int runTileClipSelfTest(const QString &folder);
// --selftest-scroll [FOLDER]: the wheel scrolls both ways, a finger flick
// glides on in its direction and comes to rest, and the pages scrolled to
// are painted; a screenshot goes to FOLDER.
int runScrollSelfTest(const QString &folder);
