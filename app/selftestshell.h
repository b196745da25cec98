#pragma once

#include <QString>

// Self-tests of the window around the canvas, on the real display.
// --selftest-popup [FOLDER]: the island's cards, opened with the island
// pushed into each corner, lie inside the window and the screen.
int runPopupSelfTest(const QString &folder);
// --selftest-dialog: the program's own dialogs, with a long file name, lie
// inside the screen, show every text whole and have finger-sized buttons.
int runDialogSelfTest();
// --selftest-home: the home page lists the recent files in order, marks a
// missing one and opens a row on a tap. The teacher's list is put back.
int runHomeSelfTest();
