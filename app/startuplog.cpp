#include "app/startuplog.h"

#include "platform/systemcheck.h"
#include "platform/startupenv.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cstdio>

namespace {

// Both live until the process ends, never destroyed: Qt still reports
// plug-in unloading from its own exit-time destructors.
QFile &logFile()
{
    static QFile *file = new QFile;
    return *file;
}

// Qt messages arrive from any thread; one QFile must not be written by two
// at once, and a handler that logs while logging must not deadlock.
QRecursiveMutex &logMutex()
{
    static QRecursiveMutex *mutex = new QRecursiveMutex;
    return *mutex;
}

std::atomic_bool g_systemTooOld { false };

void writeLocked(const QByteArray &bytes)
{
    QMutexLocker lock(&logMutex());
    QFile &file = logFile();
    if (!file.isOpen())
        return;
    file.write(bytes);
    file.flush();
}

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const QString line = formatMessageLine(type, QTime::currentTime(), text);
    writeLocked(line.toUtf8());
    // The plug-in trace and other chatter are for the file; a developer's
    // terminal shows only what went wrong.
    if (!reachesTerminal(type))
        return;
    const QByteArray local = line.toLocal8Bit();
    std::fwrite(local.constData(), 1, size_t(local.size()), stderr);
    std::fflush(stderr);
}

} // namespace

bool reachesTerminal(QtMsgType type)
{
    return type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg;
}

QString startupLogPath()
{
    return startupDataFolder() + QStringLiteral("/logs/startup.log");
}

QString startupLogHeader(const QString &systemText)
{
    return QStringLiteral("Lectern 启动诊断：Qt 消息 + 插件加载轨迹（每次启动重写；程序起不来时把这个文件发给我们）\n"
                          "系统：%1\n")
        .arg(systemText);
}

QString formatMessageLine(QtMsgType type, const QTime &time, const QString &text)
{
    const char *level = "debug";
    switch (type) {
    case QtDebugMsg: level = "debug"; break;
    case QtInfoMsg: level = "info"; break;
    case QtWarningMsg: level = "warn"; break;
    case QtCriticalMsg:
    case QtFatalMsg: level = "fatal"; break;
    }
    // Formatted by hand: messages still arrive while the process tears down
    // the locale data that QTime::toString needs.
    const QString stamp = QString::asprintf("%02d:%02d:%02d.%03d", time.hour(), time.minute(),
                                            time.second(), time.msec());
    return QStringLiteral("[%1] %2: %3\n").arg(stamp, QLatin1String(level), text);
}

bool writeStartupLog()
{
    const QString path = startupLogPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    bool opened = false;
    {
        QMutexLocker lock(&logMutex());
        QFile &file = logFile();
        file.setFileName(path);
        // Rewritten at every start; append mode keeps our lines after the
        // run-time list that a second handle adds later.
        opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Append);
    }
    if (opened) {
        writeLocked(startupLogHeader(systemVersionText()).toUtf8());
        const QString report = probePlatformPlugin(platformPluginPath());
        if (!report.isEmpty())
            writeLocked(QStringLiteral("缺的到底是什么：%1\n").arg(report).toUtf8());
        int major = 0, minor = 0, build = 0;
        if (!systemInterfacesPresent(&major, &minor, &build)) {
            g_systemTooOld = true;
            writeLocked(QStringLiteral("结果：系统缺少本程序需要的系统接口（Windows %1.%2，内部版本 %3），"
                                       "本程序需要 Windows 10 版本 1709（内部版本 16299）或更高。\n")
                            .arg(major)
                            .arg(minor)
                            .arg(build)
                            .toUtf8());
        }
    }
    qInstallMessageHandler(messageHandler);
    return opened;
}

bool systemTooOld()
{
    return g_systemTooOld;
}

bool appendRuntimeList(const QString &runtimeListPath)
{
    QFile runtime(runtimeListPath);
    if (!runtime.open(QIODevice::ReadOnly))
        return false;
    QFile log(startupLogPath());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    QMutexLocker lock(&logMutex());
    log.write(QStringLiteral("随包运行库：\n").toUtf8());
    log.write(runtime.readAll());
    log.flush();
    return true;
}

void writeStartupLogLine(const QString &line)
{
    writeLocked(line.toUtf8());
}
