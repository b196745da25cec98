#pragma once

// --selftest-docx: converts a small generated .docx with the real converter
// and prints its figures as key=value lines. Exit code 0 on success, 1 on
// failure.
int runDocxSelfTest();
