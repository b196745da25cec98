#include "docs/crc32.h"

#include <array>

namespace {

using CrcTables = std::array<std::array<quint32, 256>, 8>;

// tables[0] is the standard byte table; tables[1..7] let the loop take eight
// bytes per step ("slicing by eight"), which keeps the CRC pass of a large
// PDF well below the cost of writing it.
CrcTables makeTables()
{
    constexpr quint32 kPolynomial = 0xEDB88320u;
    CrcTables t{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? (kPolynomial ^ (c >> 1)) : (c >> 1);
        t[0][i] = c;
    }
    for (quint32 i = 0; i < 256; ++i) {
        for (size_t s = 1; s < t.size(); ++s)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
    }
    return t;
}

const CrcTables &tables()
{
    static const CrcTables t = makeTables();
    return t;
}

} // namespace

quint32 crc32(const char *data, qsizetype size, quint32 crc)
{
    const CrcTables &t = tables();
    const auto *p = reinterpret_cast<const uchar *>(data);
    quint32 c = ~crc;
    while (size >= 8) {
        // Assemble little-endian words byte by byte: no alignment or host
        // byte-order assumptions, and the compiler turns it into plain loads.
        const quint32 lo = c ^ (quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24);
        const quint32 hi = quint32(p[4]) | quint32(p[5]) << 8 | quint32(p[6]) << 16 | quint32(p[7]) << 24;
        c = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24]
            ^ t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0)
        c = t[0][(c ^ *p++) & 0xFFu] ^ (c >> 8);
    return ~c;
}
