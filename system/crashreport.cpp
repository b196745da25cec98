#include "system/crashreport.h"

#include "platform/crashhandler.h"
#include "platform/crashtext.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtGlobal>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

constexpr quint64 kTerminateCode = 0xE0000001;
constexpr quint64 kQtFatalCode = 0xE0000002;
constexpr int kTerminateExitCode = 3;
constexpr size_t kFolderBytes = 4096;
constexpr int kNotReported = 0;
constexpr int kReporting = 1;
constexpr int kReported = 2;
constexpr int kWaitForOtherReportMs = 3000;

// Trivial, so it is zero-initialised without a guard and readable from a
// signal handler; the folder is filled once at installation.
struct CrashState
{
    char folder[kFolderBytes];
    std::atomic<int> installed;
    std::atomic<int> reportState; // kNotReported, kReporting or kReported
    std::atomic<quint64> reportingThread;
    QtMessageHandler previousHandler;
};

CrashState &crashState()
{
    static CrashState state;
    return state;
}

void crashMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        CrashInfo info;
        info.code = kQtFatalCode;
        reportCrash(info, nullptr);
    }
    if (const QtMessageHandler previous = crashState().previousHandler)
        previous(type, context, message);
}

[[noreturn]] void onTerminate()
{
    CrashInfo info;
    info.code = kTerminateCode;
    reportCrash(info, nullptr);
    exitProcessNow(kTerminateExitCode);
}

// Each frame keeps a live buffer and uses the callee's result, so the
// compiler can neither drop the frame nor turn the call into a jump.
int overflowStack(int depth)
{
    volatile char frame[2048];
    frame[0] = char(depth);
    frame[sizeof(frame) - 1] = char(depth >> 8);
    if (depth < 0)
        return 0;
    static int (*volatile next)(int) = overflowStack;
    return next(depth + 1) + frame[depth % int(sizeof(frame))];
}

void throwUncaught() { throw std::runtime_error("crash self-test"); }

} // namespace

void reportCrash(const CrashInfo &info, const void *context)
{
    CrashState &state = crashState();
    if (state.folder[0] == '\0')
        return;
    // The first fatal event wins: a qFatal ends in abort(), whose signal must
    // not write a second report. Another thread crashing meanwhile waits for
    // the report to be finished, since its own death ends the process.
    int expected = kNotReported;
    if (!state.reportState.compare_exchange_strong(expected, kReporting)) {
        if (state.reportingThread.load() != currentThreadToken()) {
            for (int waited = 0; waited < kWaitForOtherReportMs && state.reportState.load() == kReporting; ++waited)
                pauseOneMillisecond();
        }
        return;
    }
    state.reportingThread.store(currentThreadToken());
    writeCrashFiles(state.folder, info, context);
    state.reportState.store(kReported);
}

void installCrashHandler()
{
    CrashState &state = crashState();
    if (state.installed.exchange(1) != 0)
        return;
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QString folder = dataFolder.isEmpty() ? QDir::homePath() + QStringLiteral("/Lectern/logs")
                                                : dataFolder + QStringLiteral("/logs");
    QDir().mkpath(folder);
    const QByteArray encoded = QFile::encodeName(QDir::toNativeSeparators(folder));
    // Leave room for "/crash-PID-MS.dmp" in the platform's fixed path buffer.
    if (encoded.size() > 0 && size_t(encoded.size()) < kFolderBytes - 64)
        memcpy(state.folder, encoded.constData(), size_t(encoded.size()) + 1);
    installPlatformCrashHandlers();
    std::set_terminate(onTerminate);
    state.previousHandler = qInstallMessageHandler(crashMessageHandler);
    recordOperation("crashlog", QStringLiteral("崩溃记录已启用：%1").arg(crashFolder()));
}

QString crashFolder() { return QFile::decodeName(crashState().folder); }

int runCrashSelfTest(const QString &kind)
{
    recordOperation("selftest", QStringLiteral("崩溃自检：%1").arg(kind));
    if (kind == QLatin1String("stack"))
        return overflowStack(1);
    if (kind == QLatin1String("segv")) {
        volatile int *volatile nowhere = nullptr;
        *nowhere = 1;
        return 1;
    }
    if (kind == QLatin1String("readonly")) {
        // A write into the program's own read-only data: a fault inside a module.
        static const char kReadOnly[] = "read-only";
        volatile char *volatile target = const_cast<char *>(kReadOnly);
        *target = 'x';
        return 1;
    }
    if (kind == QLatin1String("abort"))
        std::abort();
    if (kind == QLatin1String("terminate"))
        throwUncaught();
    if (kind == QLatin1String("qfatal"))
        qFatal("crash self-test");
    fprintf(stderr, "unknown crash kind: %s\n", qPrintable(kind));
    return 1;
}
