#include "platform/procmemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>

ProcessMemory parseProcStatus(const QByteArray &status)
{
    ProcessMemory memory;
    bool haveRss = false;
    bool haveAnon = false;
    const QList<QByteArray> lines = status.split('\n');
    for (const QByteArray &line : lines) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray key = line.left(colon);
        if (key != "VmRSS" && key != "RssAnon")
            continue;
        QByteArray value = line.mid(colon + 1).trimmed();
        if (value.endsWith(" kB"))
            value.chop(3);
        bool ok = false;
        const qint64 kb = value.trimmed().toLongLong(&ok);
        if (!ok || kb < 0)
            continue;
        if (key == "VmRSS") {
            memory.workingSetBytes = kb * 1024;
            haveRss = true;
        } else {
            memory.privateBytes = kb * 1024;
            haveAnon = true;
        }
    }
    memory.ok = haveRss && haveAnon;
    if (!memory.ok)
        return ProcessMemory();
    return memory;
}

ProcessMemory readProcessMemory()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return ProcessMemory();
    // /proc files report size 0: read until the end.
    return parseProcStatus(file.readAll());
}
