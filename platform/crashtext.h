#pragma once

#include <QtGlobal>

#include <cstddef>

// Pieces of the crash report that run inside a signal handler: they write
// into caller-provided fixed buffers and never allocate, lock or touch Qt
// objects.

struct CrashBuffer
{
    char *data;
    size_t capacity;
    size_t size;
};

void crashAppend(CrashBuffer &buffer, const char *text);
void crashAppend(CrashBuffer &buffer, const char *text, size_t length);
// "0x" followed by upper-case hexadecimal digits.
void crashAppendHex(CrashBuffer &buffer, quint64 value);
void crashAppendDecimal(CrashBuffer &buffer, qint64 value);

struct CrashInfo
{
    quint64 code = 0;
    quintptr address = 0;
    // The module holding the address, when one was found.
    const char *module = nullptr;
    size_t moduleLength = 0;
    quint64 moduleOffset = 0;
    bool hasException = false;
    quint64 flags = 0;
    quint32 parameters = 0;
};

// Fills module, moduleLength and moduleOffset from a /proc/<pid>/maps text
// when a file mapping holds address. The name points into maps.
bool findCrashModule(const char *maps, size_t length, quintptr address, CrashInfo &info);

// The report text, the last operations of the ring included.
void formatCrashReport(CrashBuffer &buffer, const CrashInfo &info);

// Appends one line per completed ring record, newest first, at most 24.
void appendRecentOperations(CrashBuffer &buffer);

// Writes the report and the dump once per process; later calls do nothing.
// context is the platform's fault context (null when there is none).
void reportCrash(const CrashInfo &info, const void *context);

// Bounds of the readable mapping that holds address or, failing that, the
// lowest one starting at most maxGap above it (a stack that overflowed has
// its pointer in the unmapped guard gap below the stack).
bool findReadableMapping(const char *maps, size_t length, quintptr address, quint64 maxGap,
                         quint64 &start, quint64 &end);
