#include "platform/crashtext.h"

void crashAppend(CrashBuffer &buffer, const char *text, size_t length)
{
    for (size_t i = 0; i < length && buffer.size < buffer.capacity; ++i)
        buffer.data[buffer.size++] = text[i];
}

void crashAppend(CrashBuffer &buffer, const char *text)
{
    if (!text)
        return;
    size_t length = 0;
    while (text[length])
        ++length;
    crashAppend(buffer, text, length);
}

void crashAppendHex(CrashBuffer &buffer, quint64 value)
{
    char digits[16];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    crashAppend(buffer, "0x", 2);
    while (count > 0)
        crashAppend(buffer, &digits[--count], 1);
}

void crashAppendDecimal(CrashBuffer &buffer, qint64 value)
{
    // Work on the magnitude as unsigned so that the smallest value survives.
    quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    if (value < 0)
        crashAppend(buffer, "-", 1);
    char digits[20];
    int count = 0;
    do {
        digits[count++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0)
        crashAppend(buffer, &digits[--count], 1);
}

namespace {

bool parseHex(const char *&p, const char *end, quint64 &value)
{
    value = 0;
    const char *start = p;
    while (p < end) {
        const char c = *p;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = (value << 4) | quint64(digit);
        ++p;
    }
    return p > start;
}

void skipField(const char *&p, const char *end)
{
    while (p < end && *p != ' ' && *p != '\n')
        ++p;
    while (p < end && *p == ' ')
        ++p;
}

} // namespace

bool findCrashModule(const char *maps, size_t length, quintptr address, CrashInfo &info)
{
    const char *p = maps;
    const char *const end = maps + length;
    while (p < end) {
        const char *lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n')
            ++lineEnd;
        // "start-end perms offset dev inode   path"
        quint64 start = 0, stop = 0, offset = 0;
        const char *q = p;
        bool ok = parseHex(q, lineEnd, start) && q < lineEnd && *q == '-';
        if (ok) {
            ++q;
            ok = parseHex(q, lineEnd, stop);
        }
        if (ok && address >= start && address < stop) {
            while (q < lineEnd && *q == ' ')
                ++q;
            skipField(q, lineEnd); // perms
            ok = parseHex(q, lineEnd, offset);
            while (q < lineEnd && *q == ' ')
                ++q;
            skipField(q, lineEnd); // device
            skipField(q, lineEnd); // inode
            // Only real files are modules; "[stack]", "[heap]" and anonymous memory are not.
            if (ok && q < lineEnd && *q == '/') {
                const char *name = q;
                for (const char *r = q; r < lineEnd; ++r) {
                    if (*r == '/')
                        name = r + 1;
                }
                info.module = name;
                info.moduleLength = size_t(lineEnd - name);
                info.moduleOffset = quint64(address) - start + offset;
                return true;
            }
            return false;
        }
        p = lineEnd < end ? lineEnd + 1 : end;
    }
    return false;
}

void formatCrashReport(CrashBuffer &buffer, const CrashInfo &info)
{
    crashAppend(buffer, "Lectern crash report\n");
    crashAppend(buffer, "exception code  ");
    crashAppendHex(buffer, info.code);
    crashAppend(buffer, "\nfault address   ");
    crashAppendHex(buffer, info.address);
    crashAppend(buffer, "\n");
    if (info.module && info.moduleLength > 0) {
        crashAppend(buffer, "module          ");
        crashAppend(buffer, info.module, info.moduleLength);
        crashAppend(buffer, "+");
        crashAppendHex(buffer, info.moduleOffset);
        crashAppend(buffer, "\n");
    }
    if (info.hasException) {
        crashAppend(buffer, "flags           ");
        crashAppendHex(buffer, info.flags);
        crashAppend(buffer, "\nparameters      ");
        crashAppendHex(buffer, info.parameters);
        crashAppend(buffer, "\n");
    }
    crashAppend(buffer, "\nlast operations (newest first)\n");
    appendRecentOperations(buffer);
}

bool findReadableMapping(const char *maps, size_t length, quintptr address, quint64 maxGap,
                         quint64 &start, quint64 &end)
{
    // The nearest readable mapping that holds address or begins within maxGap above it.
    bool found = false;
    const char *p = maps;
    const char *const stop = maps + length;
    while (p < stop) {
        const char *lineEnd = p;
        while (lineEnd < stop && *lineEnd != '\n')
            ++lineEnd;
        quint64 first = 0, last = 0;
        const char *q = p;
        if (parseHex(q, lineEnd, first) && q < lineEnd && *q == '-') {
            ++q;
            const bool range = parseHex(q, lineEnd, last) && last > address
                && (first <= address || first - address <= maxGap);
            while (q < lineEnd && *q == ' ')
                ++q;
            if (range && q < lineEnd && *q == 'r' && (!found || first < start)) {
                start = first;
                end = last;
                found = true;
            }
        }
        p = lineEnd < stop ? lineEnd + 1 : stop;
    }
    return found;
}
