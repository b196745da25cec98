#include "platform/crashhandler.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

// Linux crash handling: fatal signals on an alternate stack, files written
// with open/write/close from static buffers only.

namespace {

constexpr size_t kAltStackBytes = 128 * 1024;
constexpr size_t kMapsBytes = 512 * 1024;
constexpr size_t kReportBytes = 16 * 1024;
constexpr size_t kPathBytes = 4352;
constexpr size_t kLineBytes = 160;
constexpr size_t kStackDumpBytes = 8192;
constexpr size_t kHexBytesPerLine = 32;
constexpr quint64 kGuardGapBytes = 1024 * 1024;
constexpr int kFatalSignals[] = { SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT };

// Trivial and zero-initialised: usable from a signal handler without a guard.
struct CrashBuffers
{
    char altStack[kAltStackBytes];
    char maps[kMapsBytes];
    char report[kReportBytes];
    char path[kPathBytes];
    char line[kLineBytes];
};

CrashBuffers &buffers()
{
    static CrashBuffers instance;
    return instance;
}

void writeAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        length -= size_t(written);
    }
}

void writeText(int fd, const CrashBuffer &buffer) { writeAll(fd, buffer.data, buffer.size); }

size_t readMaps(char *out, size_t capacity)
{
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t length = 0;
    while (length < capacity) {
        const ssize_t got = ::read(fd, out + length, capacity - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        length += size_t(got);
    }
    ::close(fd);
    return length;
}

qint64 millisecondsSinceStart()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Lines of kHexBytesPerLine bytes as upper-case hexadecimal pairs.
void writeHex(int fd, const unsigned char *bytes, size_t length)
{
    CrashBuffer line{ buffers().line, kLineBytes, 0 };
    for (size_t i = 0; i < length; ++i) {
        const char pair[2] = { "0123456789ABCDEF"[bytes[i] >> 4], "0123456789ABCDEF"[bytes[i] & 0xF] };
        crashAppend(line, pair, 2);
        if ((i + 1) % kHexBytesPerLine == 0 || i + 1 == length) {
            crashAppend(line, "\n");
            writeText(fd, line);
            line.size = 0;
        }
    }
}

quintptr stackPointer(const ucontext_t *context)
{
#if defined(__x86_64__)
    return quintptr(context->uc_mcontext.gregs[REG_RSP]);
#elif defined(__i386__)
    return quintptr(context->uc_mcontext.gregs[REG_ESP]);
#elif defined(__aarch64__)
    return quintptr(context->uc_mcontext.sp);
#else
    Q_UNUSED(context);
    return 0;
#endif
}

void writeDump(int fd, const CrashInfo &info, const void *context, size_t mapsLength)
{
    CrashBuffers &b = buffers();
    CrashBuffer text{ b.line, kLineBytes, 0 };
    crashAppend(text, "Lectern crash dump 1\ncode ");
    crashAppendHex(text, info.code);
    crashAppend(text, "\npid ");
    crashAppendDecimal(text, getpid());
    crashAppend(text, "\n");
    writeText(fd, text);
    if (context) {
        const auto *uc = static_cast<const ucontext_t *>(context);
        text.size = 0;
        crashAppend(text, "registers ");
        crashAppendDecimal(text, qint64(sizeof(uc->uc_mcontext)));
        crashAppend(text, " bytes\n");
        writeText(fd, text);
        writeHex(fd, reinterpret_cast<const unsigned char *>(&uc->uc_mcontext), sizeof(uc->uc_mcontext));
        // The top of the faulting stack, never past the end of its mapping.
        const quintptr sp = stackPointer(uc);
        quint64 start = 0, end = 0;
        if (sp && findReadableMapping(b.maps, mapsLength, sp, kGuardGapBytes, start, end)) {
            const quintptr from = qMax<quintptr>(sp, quintptr(start));
            const size_t length = size_t(qMin<quint64>(kStackDumpBytes, end - from));
            text.size = 0;
            crashAppend(text, "stack ");
            crashAppendDecimal(text, qint64(length));
            crashAppend(text, " bytes from ");
            crashAppendHex(text, from);
            crashAppend(text, "\n");
            writeText(fd, text);
            writeHex(fd, reinterpret_cast<const unsigned char *>(from), length);
        }
    }
    const char mapsTitle[] = "maps\n";
    writeAll(fd, mapsTitle, sizeof(mapsTitle) - 1);
    writeAll(fd, b.maps, mapsLength);
}

void onFatalSignal(int signalNumber, siginfo_t *signalInfo, void *context)
{
    CrashInfo info;
    info.code = quint64(signalNumber);
    if (signalInfo) {
        // Only a fault raised by the processor has an address; abort() and
        // kill() carry a sender instead.
        const bool fault = signalInfo->si_code > 0 && signalNumber != SIGABRT;
        info.address = fault ? quintptr(signalInfo->si_addr) : 0;
        info.hasException = true;
        info.flags = quint32(signalInfo->si_code);
        info.parameters = fault ? 1 : 0;
    }
    reportCrash(info, context);
    // Die of the same signal so the exit status says what happened.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signalNumber, &fallback, nullptr);
    raise(signalNumber);
}

} // namespace

void installPlatformCrashHandlers()
{
    stack_t alternate = {};
    alternate.ss_sp = buffers().altStack;
    alternate.ss_size = kAltStackBytes;
    sigaltstack(&alternate, nullptr);
    struct sigaction action = {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kFatalSignals)
        sigaction(signalNumber, &action, nullptr);
}

void writeCrashFiles(const char *folder, const CrashInfo &info, const void *context)
{
    CrashBuffers &b = buffers();
    const size_t mapsLength = readMaps(b.maps, kMapsBytes);
    CrashInfo full = info;
    if (full.address)
        findCrashModule(b.maps, mapsLength, full.address, full);

    CrashBuffer path{ b.path, kPathBytes - 1, 0 };
    crashAppend(path, folder);
    crashAppend(path, "/crash-");
    crashAppendDecimal(path, getpid());
    crashAppend(path, "-");
    crashAppendDecimal(path, millisecondsSinceStart());
    const size_t stem = path.size;
    crashAppend(path, ".log");
    b.path[path.size] = '\0';

    CrashBuffer report{ b.report, kReportBytes, 0 };
    formatCrashReport(report, full);
    int fd = ::open(b.path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        writeText(fd, report);
        ::close(fd);
    }

    path.size = stem;
    crashAppend(path, ".dmp");
    b.path[path.size] = '\0';
    fd = ::open(b.path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        writeDump(fd, full, context, mapsLength);
        ::close(fd);
    }
}

void exitProcessNow(int exitCode) { _exit(exitCode); }

quint64 currentThreadToken() { return quint64(gettid()); }

void pauseOneMillisecond()
{
    const timespec pause{ 0, 1000000 };
    nanosleep(&pause, nullptr);
}
