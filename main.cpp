#include "app/startup.h"
#include "bench/bench.h"

#include <cstring>

// The program and, above it, its measuring switches.
int main(int argc, char **argv)
{
    // First of all: the open benchmark counts from here.
    const qint64 mainNs = steadyClockNs();
    // The plain-QtPdf reference the open benchmark starts as a child.
    if (argc > 1 && std::strcmp(argv[1], kRawOpenSwitch) == 0)
        return runRawOpenBench(argc, argv, mainNs);
    return runApplication(argc, argv, &runBenchSwitch, mainNs);
}
