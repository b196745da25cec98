#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>

// A platform plug-in is a few MB even as a debug build; 64 MiB leaves ample
// room, while a wrong or hostile file can no longer pull gigabytes into memory.
constexpr qint64 kMaxProbedImageSize = qint64(64) << 20;

// Reads the image at path whole for a probe: empty text on success, else the report.
inline QString readProbedImage(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("读不到 %1").arg(path);
    const qint64 size = file.size();
    if (size > kMaxProbedImageSize)
        return QStringLiteral("%1 超过 64 MB，不像平台插件").arg(path);
    // No more than was measured, so a file growing meanwhile stays under the cap.
    *bytes = file.read(size);
    return QString();
}

// Bounds-checked little-endian reads from a whole file held in memory. Every
// read past the end yields false so crafted or truncated images never fault.
class BinaryReader
{
public:
    explicit BinaryReader(const QByteArray &bytes) : m_bytes(bytes) {}

    quint64 size() const { return quint64(m_bytes.size()); }
    bool has(quint64 offset, quint64 length) const
    {
        return offset <= size() && length <= size() - offset;
    }
    bool u16(quint64 offset, quint32 *value) const { return read(offset, 2, value); }
    bool u32(quint64 offset, quint32 *value) const { return read(offset, 4, value); }
    bool u64(quint64 offset, quint64 *value) const
    {
        quint32 lo = 0, hi = 0;
        if (!read(offset, 4, &lo) || !read(offset + 4, 4, &hi))
            return false;
        *value = (quint64(hi) << 32) | lo;
        return true;
    }
    // A zero-terminated Latin-1 string starting at offset (at most maxLength
    // bytes); false when it runs off the end.
    bool cString(quint64 offset, QString *text, int maxLength = 4096) const
    {
        if (offset >= size())
            return false;
        const char *start = m_bytes.constData() + offset;
        const quint64 room = qMin<quint64>(size() - offset, quint64(maxLength));
        const void *end = std::memchr(start, 0, size_t(room));
        if (!end)
            return false;
        *text = QString::fromLatin1(start, int(static_cast<const char *>(end) - start));
        return true;
    }

private:
    bool read(quint64 offset, int length, quint32 *value) const
    {
        if (!has(offset, quint64(length)))
            return false;
        quint32 v = 0;
        for (int i = length - 1; i >= 0; --i)
            v = (v << 8) | quint8(m_bytes.at(qsizetype(offset) + i));
        *value = v;
        return true;
    }

    const QByteArray &m_bytes;
};
