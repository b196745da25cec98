#include "platform/peprobe.h"

#include "platform/binaryreader.h"

namespace {

struct Section
{
    quint32 virtualAddress = 0;
    quint32 virtualSize = 0;
    quint32 rawSize = 0;
    quint32 rawPointer = 0;
};

// Maps a relative virtual address to a file offset; false when no section holds it.
bool mapRva(const QList<Section> &sections, quint32 rva, quint64 *offset)
{
    for (const Section &s : sections) {
        const quint64 span = qMin(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && quint64(rva) < quint64(s.virtualAddress) + span) {
            *offset = quint64(rva) - s.virtualAddress + s.rawPointer;
            return true;
        }
    }
    return false;
}

// Totals over the whole import table. The per-list caps alone let 128
// descriptors share one 8192-entry list naming the same 4 KB string: gigabytes
// of copies from a 72 KB file. A real plug-in imports a few thousand functions
// whose names come to a few hundred KB at most.
struct ImportBudget
{
    static constexpr int kMaxEntries = 65536;
    static constexpr qint64 kMaxNameBytes = qint64(1) << 20;
    int entries = 0;
    qint64 nameBytes = 0;

    // Charges one kept name; false once the total passes the cap.
    bool takeName(const QString &name)
    {
        nameBytes += name.size();
        return nameBytes <= kMaxNameBytes;
    }
};

// Reads one lookup list into names; false when it exhausts the budget.
bool readLookupList(const BinaryReader &in, const QList<Section> &sections, quint32 listRva,
                    ImportBudget *budget, QStringList *names)
{
    constexpr int kMaxEntries = 8192;
    constexpr quint64 kOrdinalFlag = quint64(1) << 63;
    quint64 at = 0;
    if (!mapRva(sections, listRva, &at))
        return true;
    for (int i = 0; i < kMaxEntries; ++i) {
        quint64 entry = 0;
        if (!in.u64(at + quint64(i) * 8, &entry) || entry == 0)
            break;
        // Counted even when nothing is kept: each entry costs a section search.
        if (++budget->entries > ImportBudget::kMaxEntries)
            return false;
        if (entry & kOrdinalFlag)
            continue;
        quint64 nameAt = 0;
        QString name;
        if (mapRva(sections, quint32(entry & 0x7fffffffu), &nameAt) && in.cString(nameAt + 2, &name)) {
            if (!budget->takeName(name))
                return false;
            names->append(name);
        }
    }
    return true;
}

} // namespace

QString readPeImports(const QByteArray &bytes, const QString &path, QList<PeImport> *imports)
{
    constexpr int kMinSize = 512;
    constexpr quint32 kPeSignature = 0x00004550;
    constexpr quint32 kPe32PlusMagic = 0x20B;
    constexpr int kMaxDescriptors = 128;
    // A linked image has a dozen or so sections; every address lookup walks
    // them all, so a crafted count of 65535 would multiply the work.
    constexpr quint32 kMaxSections = 256;
    imports->clear();
    if (bytes.size() < kMinSize)
        return QStringLiteral("%1 太小，不像 PE 映像").arg(path);
    const BinaryReader in(bytes);
    quint32 header = 0, signature = 0;
    in.u32(0x3C, &header);
    if (!in.has(header, 288) || !in.u32(header, &signature) || signature != kPeSignature)
        return QStringLiteral("%1 不是 PE 映像").arg(path);
    quint32 magic = 0;
    in.u16(quint64(header) + 24, &magic);
    if (magic != kPe32PlusMagic)
        return QStringLiteral("%1 不是 PE32+（64 位）映像").arg(path);
    quint32 importRva = 0;
    in.u32(quint64(header) + 144, &importRva);
    if (importRva == 0)
        return QStringLiteral("%1 没有导入表（这不是一个正常链接出来的映像？）").arg(path);

    quint32 sectionCount = 0, optionalSize = 0;
    in.u16(quint64(header) + 6, &sectionCount);
    in.u16(quint64(header) + 20, &optionalSize);
    QList<Section> sections;
    const quint64 table = quint64(header) + 24 + optionalSize;
    for (quint32 i = 0; i < qMin(sectionCount, kMaxSections); ++i) {
        const quint64 entry = table + quint64(i) * 40;
        Section s;
        if (!in.u32(entry + 8, &s.virtualSize) || !in.u32(entry + 12, &s.virtualAddress)
            || !in.u32(entry + 16, &s.rawSize) || !in.u32(entry + 20, &s.rawPointer))
            break;
        sections.append(s);
    }

    quint64 descriptors = 0;
    if (!mapRva(sections, importRva, &descriptors))
        return QString();
    ImportBudget budget;
    for (int i = 0; i < kMaxDescriptors; ++i) {
        const quint64 d = descriptors + quint64(i) * 20;
        quint32 lookup = 0, stamp = 0, chain = 0, name = 0, iat = 0;
        if (!in.u32(d, &lookup) || !in.u32(d + 4, &stamp) || !in.u32(d + 8, &chain)
            || !in.u32(d + 12, &name) || !in.u32(d + 16, &iat))
            break;
        if (!lookup && !stamp && !chain && !name && !iat)
            break;
        quint64 nameAt = 0;
        PeImport import;
        if (name == 0 || !mapRva(sections, name, &nameAt) || !in.cString(nameAt, &import.dll))
            continue;
        if (!budget.takeName(import.dll)
            || !readLookupList(in, sections, lookup ? lookup : iat, &budget, &import.functions)) {
            imports->clear();
            return QStringLiteral("%1 的导入表过大（被篡改过？）").arg(path);
        }
        imports->append(import);
    }
    return QString();
}

QString probePeImportBytes(const QByteArray &bytes, const QString &path,
                           const PeModuleLoader &load, const PeExportLookup &hasExport)
{
    QList<PeImport> imports;
    const QString problem = readPeImports(bytes, path, &imports);
    if (!problem.isEmpty())
        return problem;
    // Qt's own DLLs and the run-time DLLs ship beside the executable.
    static const char *const kBundledPrefixes[] = { "qt6", "msvcp", "vcruntime", "api-ms-win-crt" };
    for (const PeImport &import : imports) {
        const QString dll = import.dll.toLower();
        bool bundled = false;
        for (const char *prefix : kBundledPrefixes)
            bundled = bundled || dll.startsWith(QLatin1String(prefix));
        if (bundled)
            continue;
        quint32 code = 0;
        if (!load(dll, &code))
            return QStringLiteral("缺模块 %1（LoadLibrary 失败，错误码 %2）").arg(dll).arg(code);
        for (const QString &function : import.functions) {
            if (!hasExport(dll, function))
                return QStringLiteral("%1 里缺导出函数 %2（本机没有它）").arg(dll, function);
        }
    }
    return QString();
}

QString probePeImports(const QString &path, const PeModuleLoader &load, const PeExportLookup &hasExport)
{
    QByteArray bytes;
    const QString problem = readProbedImage(path, &bytes);
    if (!problem.isEmpty())
        return problem;
    return probePeImportBytes(bytes, path, load, hasExport);
}
