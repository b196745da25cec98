#include "platform/memtrim.h"

// The Windows heap returns large freed blocks to the system by itself.
void releaseFreedMemory() {}
