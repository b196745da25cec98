// What a picture's bytes say about themselves before any decoder runs.
#include "files/imageheader.h"

#include <QtNumeric>

#include <algorithm>
#include <cstring>

namespace {

quint32 bigEndian16(const uchar *p) { return quint32(p[0]) << 8 | p[1]; }
quint32 bigEndian32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}
quint32 littleEndian16(const uchar *p) { return quint32(p[1]) << 8 | p[0]; }
quint32 littleEndian32(const uchar *p)
{
    return quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
}

// A cut-off JPEG still decodes (the missing part grey) without an error, so
// look for the end marker behind the first scan: inside the coded data a
// 0xFF byte is always escaped, so FF D9 there can only be the real end.
bool jpegIsTruncated(const uchar *data, qint64 size)
{
    if (data[0] != 0xFF || data[1] != 0xD8)
        return false;
    qint64 pos = 2;
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF)
            return false; // not a marker: let the decoder judge it
        const uchar marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos; // fill byte
            continue;
        }
        if (marker == 0xDA) {
            for (qint64 i = pos + 2; i + 1 < size; ++i) {
                if (data[i] == 0xFF && data[i + 1] == 0xD9)
                    return false;
            }
            return true;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            pos += 2;
            continue;
        }
        if (marker == 0xD9)
            return false; // ends before any scan: the decoder refuses it
        pos += 2 + bigEndian16(data + pos + 2);
    }
    return true;
}

// An uncompressed bitmap shorter than its rows is shown with black rows
// and no error by the decoder.
bool bmpIsTruncated(const uchar *data, qint64 size)
{
    if (size < 26 || data[0] != 'B' || data[1] != 'M')
        return false;
    const quint32 dataOffset = littleEndian32(data + 10);
    const quint32 headerSize = littleEndian32(data + 14);
    qint64 width = 0;
    qint64 height = 0;
    quint32 bitsPerPixel = 0;
    quint32 compression = 0;
    if (headerSize == 12) {
        width = littleEndian16(data + 18);
        height = littleEndian16(data + 20);
        bitsPerPixel = littleEndian16(data + 24);
    } else if (headerSize >= 40 && size >= 34) {
        width = qint32(littleEndian32(data + 18));
        height = qint32(littleEndian32(data + 22));
        bitsPerPixel = littleEndian16(data + 28);
        compression = littleEndian32(data + 30);
    } else {
        return false;
    }
    constexpr quint32 kPlainRows = 0;
    constexpr quint32 kBitFields = 3;
    if ((compression != kPlainRows && compression != kBitFields) || width <= 0)
        return false;
    // A crafted header can claim 2^31 × 2^31: no product may overflow.
    qint64 bits = 0;
    qint64 bytes = 0;
    qint64 needed = 0;
    if (qMulOverflow(width, qint64(bitsPerPixel), &bits)
        || qMulOverflow((bits + 31) / 32 * 4, std::abs(height), &bytes)
        || qAddOverflow(bytes, qint64(dataOffset), &needed))
        return true;
    return size < needed;
}

// A GIF cut inside its first frame decodes with the rest left blank, so
// walk the blocks up to that frame's end.
bool gifIsTruncated(const uchar *data, qint64 size)
{
    constexpr qint64 kScreenEnd = 13;
    if (size < kScreenEnd || std::memcmp(data, "GIF", 3) != 0)
        return false;
    const auto colourTable = [](uchar flags) { return flags & 0x80 ? 3 * (qint64(2) << (flags & 0x07)) : 0; };
    qint64 pos = kScreenEnd + colourTable(data[10]);
    // Skips a chain of sub-blocks; false when it runs past the end.
    const auto skipSubBlocks = [&]() {
        while (pos < size && data[pos] != 0)
            pos += 1 + data[pos];
        ++pos;
        return pos <= size;
    };
    while (pos < size) {
        switch (data[pos]) {
        case 0x21: // extension: label, then sub-blocks
            pos += 2;
            if (!skipSubBlocks())
                return true;
            break;
        case 0x2C: { // image: descriptor, optional colour table, code size, data
            constexpr qint64 kDescriptor = 10;
            if (pos + kDescriptor > size)
                return true;
            pos += kDescriptor + colourTable(data[pos + 9]) + 1;
            return !skipSubBlocks();
        }
        default: // trailer or not a block: the decoder judges it
            return false;
        }
    }
    return true;
}

void claimAtLeast(ImageClaim *claim, qint64 width, qint64 height)
{
    claim->width = std::max(claim->width, width);
    claim->height = std::max(claim->height, height);
}

bool pngClaim(const uchar *data, qint64 size, ImageClaim *claim)
{
    constexpr qint64 kHeaderEnd = 24;
    if (size < kHeaderEnd || std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0)
        return false;
    claimAtLeast(claim, bigEndian32(data + 16), bigEndian32(data + 20));
    return true;
}

bool jpegClaim(const uchar *data, qint64 size, ImageClaim *claim)
{
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    qint64 pos = 2;
    while (pos + 4 <= size && data[pos] == 0xFF) {
        const uchar marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            pos += 2;
            continue;
        }
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (pos + 9 > size)
                return false;
            claimAtLeast(claim, bigEndian16(data + pos + 7), bigEndian16(data + pos + 5));
            const bool progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            if (!progressive)
                claim->pixelLimit = kMaxSequentialJpegPixels;
            return true;
        }
        if (marker == 0xDA || marker == 0xD9)
            return false;
        pos += 2 + bigEndian16(data + pos + 2);
    }
    return false;
}

// The decoder paints every frame onto the logical screen, whatever the
// first frame's own size: both count. It cannot decode at a reduced size
// and keeps a copy of the screen for the next frame: half the pixels.
bool gifClaim(const uchar *data, qint64 size, ImageClaim *claim)
{
    constexpr qint64 kScreenEnd = 13;
    if (size < kScreenEnd || std::memcmp(data, "GIF", 3) != 0)
        return false;
    claim->pixelLimit = kMaxDecodePixels / 2;
    claimAtLeast(claim, littleEndian16(data + 6), littleEndian16(data + 8));
    const auto colourTable = [](uchar flags) { return flags & 0x80 ? 3 * (qint64(2) << (flags & 0x07)) : 0; };
    qint64 pos = kScreenEnd + colourTable(data[10]);
    while (pos < size && data[pos] == 0x21) {
        pos += 2;
        while (pos < size && data[pos] != 0)
            pos += 1 + data[pos];
        ++pos;
    }
    constexpr qint64 kDescriptor = 10;
    if (pos + kDescriptor <= size && data[pos] == 0x2C) {
        const qint64 left = littleEndian16(data + pos + 1);
        const qint64 top = littleEndian16(data + pos + 3);
        claimAtLeast(claim, left + littleEndian16(data + pos + 5), top + littleEndian16(data + pos + 7));
    }
    return true;
}

bool bmpClaim(const uchar *data, qint64 size, ImageClaim *claim)
{
    if (size < 26 || data[0] != 'B' || data[1] != 'M')
        return false;
    if (littleEndian32(data + 14) == 12) {
        claimAtLeast(claim, littleEndian16(data + 18), littleEndian16(data + 20));
        return true;
    }
    claimAtLeast(claim, std::abs(qint64(qint32(littleEndian32(data + 18)))),
                 std::abs(qint64(qint32(littleEndian32(data + 22)))));
    return true;
}

// Every icon in the file: its directory entry, and the PNG or bitmap
// header its bytes carry (a bitmap's height counts its mask twice).
bool icoClaim(const uchar *data, qint64 size, ImageClaim *claim)
{
    constexpr qint64 kDirectory = 6;
    constexpr qint64 kEntry = 16;
    if (size < kDirectory || littleEndian16(data) != 0 || (littleEndian16(data + 2) != 1 && littleEndian16(data + 2) != 2))
        return false;
    const qint64 count = littleEndian16(data + 4);
    for (qint64 i = 0; i < count && kDirectory + (i + 1) * kEntry <= size; ++i) {
        const uchar *entry = data + kDirectory + i * kEntry;
        claimAtLeast(claim, entry[0] ? entry[0] : 256, entry[1] ? entry[1] : 256);
        const qint64 offset = littleEndian32(entry + 12);
        if (offset <= 0 || offset >= size)
            continue;
        if (!pngClaim(data + offset, size - offset, claim) && offset + 12 <= size) {
            claimAtLeast(claim, std::abs(qint64(qint32(littleEndian32(data + offset + 4)))),
                         std::abs(qint64(qint32(littleEndian32(data + offset + 8)))) / 2);
        }
    }
    return true;
}

QString tooLargeText(qint64 width, qint64 height)
{
    return QStringLiteral("图片过大（%1×%2 像素）").arg(width).arg(height);
}

} // namespace

bool imageLooksTruncated(const QByteArray &bytes, const QByteArray &format)
{
    if ((format != "jpeg" && format != "bmp" && format != "gif") || bytes.size() < 4)
        return false;
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    if (format == "gif")
        return gifIsTruncated(data, size);
    return format == "jpeg" ? jpegIsTruncated(data, size) : bmpIsTruncated(data, size);
}

bool readImageClaim(const QByteArray &bytes, ImageClaim *claim)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    return pngClaim(data, size, claim) || jpegClaim(data, size, claim) || gifClaim(data, size, claim)
        || bmpClaim(data, size, claim) || icoClaim(data, size, claim);
}

bool imageClaimAllowed(const ImageClaim &claim, QString *why)
{
    if (claim.width == 0 || claim.height == 0) {
        *why = QStringLiteral("图片尺寸为 %1×%2").arg(claim.width).arg(claim.height);
        return false;
    }
    qint64 pixels = 0;
    if (qMulOverflow(claim.width, claim.height, &pixels) || pixels > claim.pixelLimit) {
        *why = tooLargeText(claim.width, claim.height);
        return false;
    }
    return true;
}

