#include "bench/procinfo.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <ctime>
#include <unistd.h>

namespace {

QByteArray readProcFile(const char *path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

double statusMb(const char *field)
{
    const QByteArray status = readProcFile("/proc/self/status");
    const QByteArray key(field);
    for (const QByteArray &line : status.split('\n')) {
        if (!line.startsWith(key))
            continue;
        bool ok = false;
        const double kb = line.mid(key.size()).trimmed().split(' ').value(0).toDouble(&ok);
        return ok ? kb / 1024.0 : -1;
    }
    return -1;
}

} // namespace

qint64 processUptimeMs()
{
    // Field 22 of /proc/self/stat is the start time in clock ticks after
    // boot; the command name (field 2) may hold spaces, so count from ')'.
    const QByteArray stat = readProcFile("/proc/self/stat");
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    constexpr int kStartTimeField = 22 - 3; // fields after ')' start at field 3
    if (fields.size() <= kStartTimeField)
        return -1;
    bool ok = false;
    const double startTicks = fields.at(kStartTimeField).toDouble(&ok);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    const QByteArray uptime = readProcFile("/proc/uptime");
    bool upOk = false;
    const double upSeconds = uptime.split(' ').value(0).toDouble(&upOk);
    if (!ok || !upOk || ticksPerSecond <= 0)
        return -1;
    return qint64((upSeconds - startTicks / double(ticksPerSecond)) * 1000.0);
}

double peakRssMb()
{
    return statusMb("VmHWM:");
}

double currentRssMb()
{
    return statusMb("VmRSS:");
}

double threadCpuMs()
{
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0)
        return -1;
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

double processCpuMs()
{
    timespec now{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0)
        return -1;
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}
