#include "system/crashreport.h"
#include "platform/crashtext.h"

#include <QByteArray>
#include <QDateTime>

#include <atomic>
#include <cstring>
#include <type_traits>

// The ring of recent operations for crash reports. Fixed storage, no lock:
// a slot is claimed with one atomic increment and published with its valid
// flag and the completed counter, so a crash handler can read it as is.

namespace {

constexpr int kSlots = 24;
constexpr size_t kTagBytes = 24;
constexpr size_t kTextBytes = 200;

struct OperationSlot
{
    char tag[kTagBytes];
    char text[kTextBytes];
    qint64 timeMs;
    std::atomic<quint32> valid;
};

struct OperationRing
{
    OperationSlot entries[kSlots];
    std::atomic<quint32> nextSlot;
    std::atomic<quint32> completed;
};

// Trivial and zero-initialised: no guard variable, so a signal handler may
// be the first to touch it.
OperationRing &ring()
{
    static OperationRing instance;
    return instance;
}

static_assert(std::atomic<quint32>::is_always_lock_free, "the ring must be lock-free");
static_assert(std::is_trivially_destructible_v<OperationRing>, "the ring needs no destructor");

// Largest prefix of at most limit bytes that does not end inside a UTF-8 sequence.
size_t utf8Prefix(const QByteArray &bytes, size_t limit)
{
    size_t length = qMin(size_t(bytes.size()), limit);
    if (length == size_t(bytes.size()))
        return length;
    // The byte at length would continue a sequence: back off to its lead byte.
    while (length > 0 && (uchar(bytes.at(qsizetype(length))) & 0xC0) == 0x80)
        --length;
    return length;
}

} // namespace

void recordOperation(const char *tag, const QString &text)
{
    OperationRing &r = ring();
    OperationSlot &slot = r.entries[r.nextSlot.fetch_add(1, std::memory_order_relaxed) % kSlots];
    slot.valid.store(0, std::memory_order_release);
    size_t tagLength = 0;
    if (tag) {
        for (; tagLength < kTagBytes - 1 && tag[tagLength]; ++tagLength) {
            const char c = tag[tagLength];
            slot.tag[tagLength] = (uchar(c) < 0x20 || uchar(c) > 0x7E) ? '?' : c;
        }
    }
    slot.tag[tagLength] = '\0';
    const QByteArray bytes = text.toUtf8();
    const size_t textLength = utf8Prefix(bytes, kTextBytes - 1);
    memcpy(slot.text, bytes.constData(), textLength);
    slot.text[textLength] = '\0';
    slot.timeMs = QDateTime::currentMSecsSinceEpoch();
    slot.valid.store(1, std::memory_order_release);
    r.completed.fetch_add(1, std::memory_order_acq_rel);
}

void appendRecentOperations(CrashBuffer &buffer)
{
    const OperationRing &r = ring();
    const quint32 completed = r.completed.load(std::memory_order_acquire);
    const quint32 count = qMin<quint32>(completed, kSlots);
    for (quint32 n = 1; n <= count; ++n) {
        const OperationSlot &slot = r.entries[(completed - n) % kSlots];
        if (slot.valid.load(std::memory_order_acquire) != 1)
            continue;
        crashAppend(buffer, "  ");
        crashAppendDecimal(buffer, slot.timeMs);
        crashAppend(buffer, " ms  ");
        crashAppend(buffer, slot.tag, strnlen(slot.tag, kTagBytes));
        crashAppend(buffer, "  ");
        crashAppend(buffer, slot.text, strnlen(slot.text, kTextBytes));
        crashAppend(buffer, "\n");
    }
}
