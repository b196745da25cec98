#include "platform/elfprobe.h"

#include "platform/binaryreader.h"

#include <QList>

namespace {

struct Segment
{
    quint64 offset = 0;
    quint64 vaddr = 0;
    quint64 fileSize = 0;
};

bool mapAddress(const QList<Segment> &loads, quint64 address, quint64 *offset)
{
    for (const Segment &s : loads) {
        const quint64 delta = address - s.vaddr;
        // delta <= ~offset: a crafted segment offset must not wrap the sum.
        if (address >= s.vaddr && delta < s.fileSize && delta <= ~s.offset) {
            *offset = s.offset + delta;
            return true;
        }
    }
    return false;
}

} // namespace

QString readElfNeeded(const QByteArray &bytes, const QString &path, QStringList *needed)
{
    constexpr int kHeaderSize = 64;
    constexpr quint32 kPtLoad = 1;
    constexpr quint32 kPtDynamic = 2;
    constexpr quint64 kDtNeeded = 1;
    constexpr quint64 kDtStrtab = 5;
    constexpr int kMaxHeaders = 256;
    constexpr int kMaxDynamic = 4096;
    // A real plug-in needs a few dozen libraries; without a total, 4096 entries
    // naming one 4 KB string would copy 16 MB of names out of a 68 KB file.
    constexpr qint64 kMaxNameBytes = qint64(1) << 20;
    needed->clear();
    if (bytes.size() < kHeaderSize)
        return QStringLiteral("%1 太小，不像 ELF 映像").arg(path);
    if (!bytes.startsWith("\x7f" "ELF"))
        return QStringLiteral("%1 不是 ELF 映像").arg(path);
    // ELFCLASS64, little-endian: the only kind this program ships on.
    if (bytes.at(4) != 2 || bytes.at(5) != 1)
        return QStringLiteral("%1 不是 64 位小端 ELF 映像").arg(path);

    const BinaryReader in(bytes);
    quint64 phoff = 0;
    quint32 phentsize = 0, phnum = 0;
    in.u64(0x20, &phoff);
    in.u16(0x36, &phentsize);
    in.u16(0x38, &phnum);
    QList<Segment> loads;
    Segment dynamic;
    bool hasDynamic = false;
    // Offsets from the file are checked against its size before anything is
    // added to them, so a sum cannot wrap back into the image.
    const quint32 headers = in.has(phoff, 0) ? qMin<quint32>(phnum, kMaxHeaders) : 0;
    for (quint32 i = 0; i < headers && phentsize >= 56; ++i) {
        const quint64 at = phoff + quint64(i) * phentsize;
        quint32 type = 0;
        Segment s;
        if (!in.u32(at, &type) || !in.u64(at + 8, &s.offset) || !in.u64(at + 16, &s.vaddr)
            || !in.u64(at + 32, &s.fileSize))
            break;
        if (type == kPtLoad)
            loads.append(s);
        else if (type == kPtDynamic && !hasDynamic) {
            dynamic = s;
            hasDynamic = true;
        }
    }
    if (!hasDynamic)
        return QStringLiteral("%1 没有动态段（这不是一个正常链接出来的共享库？）").arg(path);

    QList<quint64> nameOffsets;
    quint64 strtab = 0;
    bool hasStrtab = false;
    const quint64 entries =
        in.has(dynamic.offset, 0) ? qMin<quint64>(dynamic.fileSize / 16, kMaxDynamic) : 0;
    for (quint64 i = 0; i < entries; ++i) {
        quint64 tag = 0, value = 0;
        if (!in.u64(dynamic.offset + i * 16, &tag) || !in.u64(dynamic.offset + i * 16 + 8, &value)
            || tag == 0)
            break;
        if (tag == kDtNeeded)
            nameOffsets.append(value);
        else if (tag == kDtStrtab) {
            strtab = value;
            hasStrtab = true;
        }
    }
    quint64 strings = 0;
    if (!hasStrtab || !mapAddress(loads, strtab, &strings))
        return nameOffsets.isEmpty() ? QString()
                                     : QStringLiteral("%1 的动态段没有可读的字符串表").arg(path);
    qint64 nameBytes = 0;
    for (quint64 offset : nameOffsets) {
        QString name;
        if (strings + offset < strings || !in.cString(strings + offset, &name) || name.isEmpty())
            continue;
        nameBytes += name.size();
        if (nameBytes > kMaxNameBytes) {
            needed->clear();
            return QStringLiteral("%1 的动态段过大（被篡改过？）").arg(path);
        }
        needed->append(name);
    }
    return QString();
}

QString probeElfNeededBytes(const QByteArray &bytes, const QString &path, const ElfLibraryLoader &load)
{
    QStringList needed;
    const QString problem = readElfNeeded(bytes, path, &needed);
    if (!problem.isEmpty())
        return problem;
    for (const QString &soname : needed) {
        QString reason;
        if (!load(soname, &reason))
            return QStringLiteral("缺模块 %1（dlopen 失败：%2）").arg(soname, reason);
    }
    return QString();
}

QString probeElfNeeded(const QString &path, const ElfLibraryLoader &load)
{
    QByteArray bytes;
    const QString problem = readProbedImage(path, &bytes);
    if (!problem.isEmpty())
        return problem;
    return probeElfNeededBytes(bytes, path, load);
}
