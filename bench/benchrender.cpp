#include "bench/bench.h"

#include <cstdio>

int runRenderBench(const QString &) { std::fprintf(stderr, "--bench: not built yet\n"); return 1; }
int runOpenBench(const QString &) { std::fprintf(stderr, "--bench-open: not built yet\n"); return 1; }
