#include "bench/bench.h"

#include <cstdio>

int runPaintBench(const QString &) { std::fprintf(stderr, "--bench-paint: not built yet\n"); return 1; }
