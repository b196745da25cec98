#include "app/startup.h"
#include "bench/bench.h"

// The program and, above it, its measuring switches.
int main(int argc, char **argv)
{
    return runApplication(argc, argv, &runBenchSwitch);
}
