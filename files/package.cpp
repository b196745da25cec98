#include "files/package.h"

#include "files/crc32.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStringList>

namespace {

constexpr quint32 kLocalSignature = 0x04034B50u;
constexpr quint32 kCentralSignature = 0x02014B50u;
constexpr quint32 kEndSignature = 0x06054B50u;
constexpr qsizetype kLocalHeaderSize = 30;
constexpr qsizetype kCentralHeaderSize = 46;
constexpr qsizetype kEndRecordSize = 22;
// The end record plus the longest comment it can announce.
constexpr qsizetype kEndSearchSpan = kEndRecordSize + 0xFFFF + 1;
constexpr quint16 kZipVersion = 20;
// One fixed stamp (1 January 2024, 00:00) so that equal content gives equal bytes.
constexpr quint16 kDosTime = 0x0000;
constexpr quint16 kDosDate = 0x5821;

const char kPdfEntry[] = "source.pdf";
const char kJsonEntry[] = "annotations.json";

// Bounds-checked little-endian reads: a field that would lie outside the
// data reads as 0, so a lying header can never move a read out of the buffer.
quint32 readLe(const QByteArray &data, qint64 pos, int bytes)
{
    if (pos < 0 || pos + bytes > data.size())
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(data.constData() + pos);
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
quint16 read16(const QByteArray &data, qint64 pos) { return quint16(readLe(data, pos, 2)); }
quint32 read32(const QByteArray &data, qint64 pos) { return readLe(data, pos, 4); }

void put16(QByteArray &out, quint16 v)
{
    const char b[2] = { char(v & 0xFF), char(v >> 8) };
    out.append(b, 2);
}
void put32(QByteArray &out, quint32 v)
{
    const char b[4] = { char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24) };
    out.append(b, 4);
}

struct Span
{
    qint64 start = 0;
    qint64 size = 0;            // as the central directory records it
    quint32 crc = 0;            // as the central directory records it
    qint64 localSize = -1;      // the local header's; -1 when it defers to a data descriptor
};

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// Walks the archive and finds the two entries. Entries are kept as spans into
// data, never copied, so a directory that names one huge entry thousands of
// times costs no memory.
bool locateEntries(const QByteArray &data, const QString &path, Span *pdf, Span *json, QString *error)
{
    const qint64 size = data.size();
    if (size < kEndRecordSize) {
        setError(error, QStringLiteral("%1 不是有效的批注包（文件太小）").arg(path));
        return false;
    }
    qint64 end = -1;
    const qint64 lowest = qMax<qint64>(0, size - kEndSearchSpan);
    for (qint64 pos = size - kEndRecordSize; pos >= lowest; --pos) {
        if (read32(data, pos) == kEndSignature) {
            end = pos;
            break;
        }
    }
    if (end < 0) {
        setError(error, QStringLiteral("%1 不是有效的批注包（缺少 ZIP 结束记录）").arg(path));
        return false;
    }

    const int count = read16(data, end + 10);
    qint64 pos = read32(data, end + 16);
    QHash<QByteArray, Span> entries;
    for (int i = 0; i < count; ++i) {
        if (pos + 4 > size || read32(data, pos) != kCentralSignature) {
            setError(error, QStringLiteral("%1 的中央目录已损坏").arg(path));
            return false;
        }
        const quint16 method = read16(data, pos + 10);
        const qint64 compressed = read32(data, pos + 20);
        const qint64 nameLength = read16(data, pos + 28);
        const qint64 extraLength = read16(data, pos + 30);
        const qint64 commentLength = read16(data, pos + 32);
        const qint64 local = read32(data, pos + 42);
        if (pos + kCentralHeaderSize + nameLength > size) {
            setError(error, QStringLiteral("%1 的中央目录越界").arg(path));
            return false;
        }
        const QByteArray name(data.constData() + pos + kCentralHeaderSize, nameLength);
        if (method != 0) {
            setError(error, QStringLiteral("%1 使用了不支持的压缩方式（method %2），仅支持未压缩存储")
                                .arg(path)
                                .arg(method));
            return false;
        }
        if (local + 4 > size || read32(data, local) != kLocalSignature) {
            setError(error, QStringLiteral("%1 的本地文件头已损坏").arg(path));
            return false;
        }
        const qint64 start = local + kLocalHeaderSize + read16(data, local + 26) + read16(data, local + 28);
        if (start + compressed > size) {
            setError(error, QStringLiteral("%1 的条目数据越界").arg(path));
            return false;
        }
        constexpr quint16 kDataDescriptorFlag = 0x0008;
        const bool deferred = read16(data, local + 6) & kDataDescriptorFlag;
        entries.insert(name, Span{ start, compressed, read32(data, pos + 16),
                                   deferred ? -1 : qint64(read32(data, local + 18)) });
        pos += kCentralHeaderSize + nameLength + extraLength + commentLength;
    }

    const auto pdfIt = entries.constFind(QByteArray(kPdfEntry));
    const auto jsonIt = entries.constFind(QByteArray(kJsonEntry));
    if (pdfIt == entries.cend() || jsonIt == entries.cend()) {
        setError(error, QStringLiteral("%1 缺少 source.pdf 或 annotations.json").arg(path));
        return false;
    }
    *pdf = *pdfIt;
    *json = *jsonIt;
    return true;
}

bool parseJson(const QByteArray &text, const QString &path, QJsonObject *out, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        setError(error, QStringLiteral("%1 的 annotations.json 无法解析：%2").arg(path, parseError.errorString()));
        return false;
    }
    if (!doc.isObject()) {
        setError(error, QStringLiteral("%1 的 annotations.json 无法解析：%2").arg(path, QStringLiteral("顶层不是 JSON 对象")));
        return false;
    }
    *out = doc.object();
    return true;
}

quint32 spanCrc(const QByteArray &data, qint64 start, qint64 size)
{
    return zipCrc32(data.constData() + start, size);
}

// Checks one entry against its recorded CRC and the local header's size.
// When the two sizes disagree, the one whose bytes carry the recorded CRC
// is the truth: a lying central size must not cut the PDF short.
void checkEntry(const QByteArray &data, const char *name, Span *span, QList<PackageDamage> *damage)
{
    const QString entry = QString::fromLatin1(name);
    if (span->localSize >= 0 && span->localSize != span->size) {
        damage->append({ entry, PackageDamage::Check::Size, quint32(span->size), quint32(span->localSize) });
        if (span->start + span->localSize <= data.size()
            && spanCrc(data, span->start, span->localSize) == span->crc) {
            span->size = span->localSize;
            return;
        }
    }
    const quint32 found = spanCrc(data, span->start, span->size);
    if (found != span->crc)
        damage->append({ entry, PackageDamage::Check::Crc, span->crc, found });
}

// consume: data may be reused for the PDF output, which saves a second copy
// of a large PDF when reading from a file.
bool decode(QByteArray &data, bool consume, const QString &path, QByteArray *pdfOut, QJsonObject *jsonOut,
            QString *error, QList<PackageDamage> *damageOut)
{
    Span pdf;
    Span json;
    if (!locateEntries(data, path, &pdf, &json, error))
        return false;
    // Only what is handed out is checked: a working copy read for its ink
    // costs no pass over its PDF.
    QList<PackageDamage> damage;
    checkEntry(data, kJsonEntry, &json, &damage);
    if (pdfOut)
        checkEntry(data, kPdfEntry, &pdf, &damage);
    QJsonObject object;
    const QByteArray jsonText = QByteArray::fromRawData(data.constData() + json.start, json.size);
    if (!parseJson(jsonText, path, &object, error))
        return false;
    if (pdfOut) {
        if (consume) {
            data.truncate(pdf.start + pdf.size);
            data.remove(0, pdf.start);
            *pdfOut = std::move(data);
        } else {
            *pdfOut = data.mid(pdf.start, pdf.size);
        }
    }
    if (jsonOut)
        *jsonOut = object;
    if (damageOut)
        *damageOut = damage;
    return true;
}

void appendLocalHeader(QByteArray &out, const QByteArray &name, quint32 crc, quint32 size)
{
    put32(out, kLocalSignature);
    put16(out, kZipVersion);
    put16(out, 0); // flags
    put16(out, 0); // stored
    put16(out, kDosTime);
    put16(out, kDosDate);
    put32(out, crc);
    put32(out, size);
    put32(out, size);
    put16(out, quint16(name.size()));
    put16(out, 0); // extra
    out.append(name);
}

void appendCentralHeader(QByteArray &out, const QByteArray &name, quint32 crc, quint32 size, quint32 offset)
{
    put32(out, kCentralSignature);
    put16(out, kZipVersion); // made by
    put16(out, kZipVersion); // needed
    put16(out, 0); // flags
    put16(out, 0); // stored
    put16(out, kDosTime);
    put16(out, kDosDate);
    put32(out, crc);
    put32(out, size);
    put32(out, size);
    put16(out, quint16(name.size()));
    put16(out, 0); // extra
    put16(out, 0); // comment
    put16(out, 0); // disk
    put16(out, 0); // internal attributes
    put32(out, 0); // external attributes
    put32(out, offset);
    out.append(name);
}

} // namespace

bool looksLikePackage(const QString &path)
{
    if (path.endsWith(QLatin1String(".dpz"), Qt::CaseInsensitive))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head.size() == 4 && read32(head, 0) == kLocalSignature;
}

QString PackageDamage::describe() const
{
    const bool crc = check == Check::Crc;
    return QStringLiteral("%1 的 %2 不符：记录 %3，实际 %4")
            .arg(entry, crc ? QStringLiteral("CRC-32") : QStringLiteral("大小（中央目录/本地文件头）"),
                 crc ? QStringLiteral("%1").arg(recorded, 8, 16, QLatin1Char('0')) : QString::number(recorded),
                 crc ? QStringLiteral("%1").arg(found, 8, 16, QLatin1Char('0')) : QString::number(found));
}

QString packageDamageText(const QList<PackageDamage> &damage)
{
    QStringList entries;
    for (const PackageDamage &d : damage) {
        if (!entries.contains(d.entry))
            entries.append(d.entry);
    }
    return QStringLiteral("批注包已损坏：%1 校验不符，内容可能不完整").arg(entries.join(QStringLiteral("、")));
}

bool decodePackage(const QByteArray &data, const QString &path, QByteArray *pdfOut, QJsonObject *jsonOut,
                   QString *error, QList<PackageDamage> *damage)
{
    QByteArray shared = data; // implicitly shared; decode only reads it
    return decode(shared, false, path, pdfOut, jsonOut, error, damage);
}

bool readPackage(const QString &path, QByteArray *pdfOut, QJsonObject *jsonOut, QString *error,
                 QList<PackageDamage> *damage)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("无法打开 %1：%2").arg(path, file.errorString()));
        return false;
    }
    QByteArray data = file.readAll();
    file.close();
    return decode(data, true, path, pdfOut, jsonOut, error, damage);
}

namespace {

// The archive around the PDF bytes: head + pdf + tail is the whole package.
// The PDF never joins one combined buffer, which spares a copy (and a fresh
// allocation) of a PDF that may be hundreds of megabytes.
QByteArray annotationText(const QJsonObject &annotations, const QJsonObject &fingerprint)
{
    QJsonObject object = annotations;
    if (fingerprint.isEmpty())
        return QJsonDocument(object).toJson(QJsonDocument::Indented);
    // Only working copies carry a fingerprint. They are the program's own,
    // rewritten every second while the teacher writes: compact text is less
    // than half the bytes and the time. Packages a teacher keeps stay indented.
    object.insert(QStringLiteral("source"), fingerprint);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Every size and offset must fit the 32-bit fields (there is no ZIP64).
bool fitsArchive(qint64 pdfSize, qint64 jsonSize, const QString &path, QString *error)
{
    constexpr qint64 kLimit = 0xFFFFFFFFll;
    const qint64 total = 2 * (kLocalHeaderSize + kCentralHeaderSize) + 2 * qint64(sizeof kPdfEntry - 1)
        + 2 * qint64(sizeof kJsonEntry - 1) + pdfSize + jsonSize + kEndRecordSize;
    if (total <= kLimit)
        return true;
    setError(error, QStringLiteral("批注包不能超过 4 GB（拒绝写入 %1）").arg(path));
    return false;
}

QByteArray headFor(quint32 pdfCrc, qint64 pdfSize)
{
    QByteArray head;
    appendLocalHeader(head, QByteArray(kPdfEntry), pdfCrc, quint32(pdfSize));
    return head;
}

QByteArray tailFor(quint32 pdfCrc, qint64 pdfSize, const QByteArray &json)
{
    const QByteArray pdfName(kPdfEntry);
    const QByteArray jsonName(kJsonEntry);
    const quint32 jsonCrc = zipCrc32(json.constData(), json.size());
    // Offsets count from the start of the file.
    const qint64 tailStart = kLocalHeaderSize + pdfName.size() + pdfSize;
    QByteArray out;
    out.reserve(json.size() + 512);
    const quint32 pdfOffset = 0;
    const auto jsonOffset = quint32(tailStart);
    appendLocalHeader(out, jsonName, jsonCrc, quint32(json.size()));
    out.append(json);
    const auto centralOffset = quint32(tailStart + out.size());
    appendCentralHeader(out, pdfName, pdfCrc, quint32(pdfSize), pdfOffset);
    appendCentralHeader(out, jsonName, jsonCrc, quint32(json.size()), jsonOffset);
    const auto centralSize = quint32(tailStart + out.size()) - centralOffset;
    put32(out, kEndSignature);
    put16(out, 0); // this disk
    put16(out, 0); // directory disk
    put16(out, 2); // entries on this disk
    put16(out, 2); // total entries
    put32(out, centralSize);
    put32(out, centralOffset);
    put16(out, 0); // comment
    return out;
}

} // namespace

QByteArray encodePackage(const QByteArray &pdf, const QJsonObject &annotations, const QJsonObject &fingerprint,
                         const QString &path, QString *error)
{
    const QByteArray json = annotationText(annotations, fingerprint);
    if (!fitsArchive(pdf.size(), json.size(), path, error))
        return QByteArray();
    const quint32 pdfCrc = zipCrc32(pdf.constData(), pdf.size());
    return headFor(pdfCrc, pdf.size()) + pdf + tailFor(pdfCrc, pdf.size(), json);
}

bool writePackage(const QString &path, const QByteArray &pdf, const QJsonObject &annotations, QString *error,
                  const QJsonObject &fingerprint)
{
    // Refusing other names keeps a source PDF handed in by mistake intact.
    if (!path.endsWith(QLatin1String(".dpz"), Qt::CaseInsensitive)) {
        setError(error, QStringLiteral("批注包只能保存为 .dpz（拒绝写入 %1）").arg(path));
        return false;
    }
    const QByteArray json = annotationText(annotations, fingerprint);
    if (!fitsArchive(pdf.size(), json.size(), path, error))
        return false;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("无法写入 %1：%2").arg(path, file.errorString()));
        return false;
    }
    auto failed = [&file, &path, error]() {
        const QString reason = file.errorString();
        file.cancelWriting();
        setError(error, QStringLiteral("写入 %1 失败：%2").arg(path, reason));
        return false;
    };
    // The PDF's CRC is taken piece by piece just before each piece is written,
    // while it is still in the cache, and patched into the local header at the
    // end: one pass over the PDF's memory instead of two.
    const QByteArray provisionalHead = headFor(0, pdf.size());
    if (file.write(provisionalHead) != provisionalHead.size())
        return failed();
    constexpr qint64 kPiece = 1 << 20;
    quint32 pdfCrc = 0;
    for (qint64 offset = 0; offset < pdf.size(); offset += kPiece) {
        const qint64 length = qMin(kPiece, pdf.size() - offset);
        pdfCrc = zipCrc32(pdf.constData() + offset, length, pdfCrc);
        if (file.write(pdf.constData() + offset, length) != length)
            return failed();
    }
    const QByteArray tail = tailFor(pdfCrc, pdf.size(), json);
    const QByteArray head = headFor(pdfCrc, pdf.size());
    if (file.write(tail) != tail.size() || !file.seek(0) || file.write(head) != head.size())
        return failed();
    if (!file.commit()) {
        setError(error, QStringLiteral("提交 %1 失败：%2").arg(path, file.errorString()));
        return false;
    }
    return true;
}
