#include "files/crc32.h"

#include <zlib.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

quint32 serialCrc(quint32 crc, const char *data, qsizetype size)
{
    return quint32(crc32_z(crc, reinterpret_cast<const Bytef *>(data), z_size_t(size)));
}

} // namespace

// zlib's implementation: the same CRC, faster than a table of our own. A
// large PDF (opening a package checks it) is split over the cores and the
// pieces joined with crc32_combine, so the check stays a small share of the
// open.
quint32 zipCrc32(const char *data, qsizetype size, quint32 crc)
{
    if (size <= 0)
        return crc;
    constexpr qsizetype kParallelFrom = qsizetype(16) << 20;
    // Pieces stay below 1 GiB so each length fits z_off_t even where long
    // is 32 bits.
    constexpr qsizetype kMaxPiece = qsizetype(1) << 30;
    constexpr unsigned kMaxThreads = 4;
    const unsigned threads = std::min(kMaxThreads, std::thread::hardware_concurrency());
    if (size < kParallelFrom || threads < 2)
        return serialCrc(crc, data, size);
    const auto pieces = unsigned(std::max<qsizetype>(threads, (size + kMaxPiece - 1) / kMaxPiece));

    const qsizetype piece = size / pieces;
    std::vector<quint32> crcs(pieces, 0);
    std::vector<std::thread> workers;
    workers.reserve(pieces - 1);
    for (unsigned i = 1; i < pieces; ++i) {
        const char *start = data + qsizetype(i) * piece;
        const qsizetype length = i + 1 == pieces ? size - qsizetype(i) * piece : piece;
        workers.emplace_back([&crcs, i, start, length] { crcs[i] = serialCrc(0, start, length); });
    }
    crcs[0] = serialCrc(crc, data, piece);
    for (std::thread &worker : workers)
        worker.join();
    quint32 result = crcs[0];
    for (unsigned i = 1; i < pieces; ++i) {
        const qsizetype length = i + 1 == pieces ? size - qsizetype(i) * piece : piece;
        result = quint32(crc32_combine(result, crcs[i], z_off_t(length)));
    }
    return result;
}
