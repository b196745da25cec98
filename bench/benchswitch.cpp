#include "bench/bench.h"

int runBenchSwitch(const QString &name, const QString &argument, const QString &, const StartupMarks &marks)
{
    if (name == QLatin1String("--bench"))
        return runRenderBench(argument);
    if (name == QLatin1String("--bench-open"))
        return runOpenBench(argument, marks);
    if (name == QLatin1String("--bench-forward"))
        return runForwardBench(argument);
    if (name == QLatin1String("--bench-docx"))
        return runDocxBench(argument);
    if (name == QLatin1String("--bench-paint"))
        return runPaintBench(argument);
    if (name == QLatin1String("--bench-export"))
        return runExportBench(argument);
    if (name == QLatin1String("--bench-theme"))
        return runThemeBench(argument);
    if (name == QLatin1String("--bench-shell"))
        return runShellBench(argument);
    if (name == QLatin1String("--bench-workingcopy"))
        return runWorkingCopyBench(argument);
    if (name == QLatin1String("--bench-board"))
        return runBoardBench(argument);
    return -1;
}
