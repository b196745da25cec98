#pragma once

// Hands memory the program has freed back to the system where the C
// library keeps it (glibc holds large freed blocks in its heap).
void releaseFreedMemory();
