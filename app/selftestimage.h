#pragma once

// --selftest-image: draws an 800 × 600 picture with a transparent corner,
// opens it through a real main window as a teacher would, reads the wrapper
// PDF back with the PDF engine and checks its page size and pixels; then
// checks that a 4000 × 4000 picture is scaled down to the pixel cap.
// key=value lines on standard output, ending with result=PASS or
// result=FAIL; returns 0 or 1.
int runImageSelfTest();
