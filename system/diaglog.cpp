#include "system/diaglog.h"

#include "platform/platformlog.h"
#include "system/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <atomic>

namespace {

constexpr qint64 kRotateAboveBytes = 2 * 1024 * 1024;

struct LogState
{
    QMutex mutex;
    QFile file;
    QString pathInUse;
    std::atomic<bool> enabled{ false };
    bool switchedOffByUser = false;
    bool handlerInstalled = false;
    QtMessageHandler previousHandler = nullptr;
};

LogState &logState()
{
    // Never destroyed: Qt still reports plug-in unloading after static
    // destructors have run, and those messages come through the log handler.
    static LogState *state = new LogState;
    return *state;
}

// Set while this thread holds the log mutex: a Qt message raised meanwhile
// (by the file calls) is passed on but not logged, instead of waiting for
// the mutex its own thread holds.
thread_local bool tlsHoldingLog = false;

class HoldLog
{
public:
    explicit HoldLog(QMutex *mutex) : m_previous(tlsHoldingLog), m_locker(mutex) { tlsHoldingLog = true; }
    ~HoldLog() { tlsHoldingLog = m_previous; }
    Q_DISABLE_COPY_MOVE(HoldLog)

private:
    bool m_previous;
    QMutexLocker<QMutex> m_locker;
};

QString configuredLogPath()
{
    const QString fromEnvironment = logPathFromEnvironment();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/logs/lectern.log");
}

// Called with the mutex held. Switches logging off when the file cannot be opened.
bool openLogFile(LogState &state, const QString &path)
{
    if (state.file.isOpen() && state.file.fileName() == path)
        return true;
    state.file.close();
    state.pathInUse = path;
    const QFileInfo info(path);
    if (path.isEmpty() || !QDir().mkpath(info.absolutePath())) {
        state.enabled = false;
        return false;
    }
    if (info.exists() && info.size() > kRotateAboveBytes) {
        const QString previous = path + QStringLiteral(".1");
        QFile::remove(previous);
        QFile::rename(path, previous);
    }
    state.file.setFileName(path);
    if (!state.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        state.enabled = false;
        return false;
    }
    return true;
}

const char *levelFor(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtWarningMsg:
        return "warn";
    case QtCriticalMsg:
        return "error";
    case QtFatalMsg:
        return "fatal";
    case QtInfoMsg:
        return "info";
    }
    return "info";
}

void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Plain qWarning() carries Qt's "default" category: that is no category of ours.
    const char *category = context.category;
    const bool named = category && *category && qstrcmp(category, "default") != 0;
    // The plug-in loading trace belongs to the start-up log alone.
    const bool pluginTrace = named && (qstrncmp(category, "qt.core.plugin", 14) == 0
                                       || qstrncmp(category, "qt.core.library", 15) == 0);
    if (!pluginTrace)
        logLine(levelFor(type), named ? QString::fromUtf8(category) : QStringLiteral("qt"), message);
    if (const QtMessageHandler previous = logState().previousHandler)
        previous(type, context, message);
}

void applyLogDecision()
{
    // Lines from the platform code reach the log only while it is on, as ours do.
    setPlatformLogSink(&logInfo);
    LogState &state = logState();
    const bool fromEnvironment = !logPathFromEnvironment().isEmpty() && !state.switchedOffByUser;
    const bool on = debugLogSetting() || fromEnvironment;
    HoldLog hold(&state.mutex);
    if (!on) {
        state.enabled = false;
        state.file.close();
        return;
    }
    state.enabled = true;
    if (!openLogFile(state, configuredLogPath()))
        return;
    if (!state.handlerInstalled) {
        state.handlerInstalled = true;
        state.previousHandler = qInstallMessageHandler(logMessageHandler);
    }
}

} // namespace

void initLog() { applyLogDecision(); }

void logLine(const char *level, const QString &category, const QString &message)
{
    LogState &state = logState();
    if (!state.enabled.load(std::memory_order_relaxed) || tlsHoldingLog)
        return;
    {
        HoldLog hold(&state.mutex);
        if (state.enabled && openLogFile(state, state.pathInUse)) {
            const QString line = QStringLiteral("%1 [%2] %3: %4\n")
                                     .arg(QDateTime::currentDateTime().toString(
                                              QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                          QLatin1String(level ? level : "info"), category, message);
            state.file.write(line.toUtf8());
            state.file.flush();
        }
    }
}

void logInfo(const QString &category, const QString &message) { logLine("info", category, message); }

bool isLogEnabled() { return logState().enabled.load(std::memory_order_relaxed); }

bool setDebugLogEnabled(bool on, QString *error)
{
    if (!setDebugLogSetting(on, error))
        return false;
    {
        LogState &state = logState();
        HoldLog hold(&state.mutex);
        state.switchedOffByUser = !on;
    }
    applyLogDecision();
    if (on && !isLogEnabled()) {
        // The switch goes back to off: the setting with it, and the teacher
        // learns why instead of seeing it flip back silently.
        const QString path = QDir::toNativeSeparators(logFilePath());
        setDebugLogSetting(false);
        applyLogDecision();
        if (error)
            *error = QStringLiteral("无法打开诊断日志文件：%1").arg(path);
        return false;
    }
    if (on)
        logInfo(QStringLiteral("log"), QStringLiteral("诊断日志已开启（%1）").arg(logFilePath()));
    return true;
}

QString logFilePath()
{
    LogState &state = logState();
    HoldLog hold(&state.mutex);
    return state.pathInUse.isEmpty() ? configuredLogPath() : state.pathInUse;
}

QString logFolder() { return QFileInfo(logFilePath()).absolutePath(); }

QString logPathFromEnvironment() { return QString::fromLocal8Bit(qgetenv("LECTERN_LOG")); }
