#pragma once

#include <QByteArray>
#include <QString>

// What a picture's bytes say about themselves, read before any decoder runs
// so that neither a cut-off file nor a crafted header reaches one.

// Decoding one picture may take at most this much memory (a 64-megapixel
// picture at full size, before the import scales it down).
constexpr qint64 kMaxDecodeBytes = 256LL * 1024 * 1024;
constexpr qint64 kMaxDecodePixels = kMaxDecodeBytes / 4;
// A sequential JPEG is decoded line by line straight at a reduced scale, so
// a big camera photo needs far less than its full size; a progressive one
// holds every coefficient of the whole picture at once.
constexpr qint64 kMaxSequentialJpegPixels = 4 * kMaxDecodePixels;

// Whether a picture in format ("jpeg", "bmp" or "gif") ends before its first
// image does: the decoders fill the rest with grey or black and report no
// error.
bool imageLooksTruncated(const QByteArray &bytes, const QByteArray &format);

// The pixel size a picture's own header claims, as its decoder will
// allocate it (for GIF the logical screen as well as the first frame, for
// ICO every icon), and how many pixels decoding it may take.
struct ImageClaim
{
    qint64 width = -1;
    qint64 height = -1;
    qint64 pixelLimit = kMaxDecodePixels;
};
// Reads the claim of a PNG, JPEG, GIF, BMP or ICO from its bytes, whichever
// decoder later reads them; false for any other layout.
bool readImageClaim(const QByteArray &bytes, ImageClaim *claim);
// False, with why, for an empty size or one beyond claim's pixel limit
// (the product is overflow-checked).
bool imageClaimAllowed(const ImageClaim &claim, QString *why);
