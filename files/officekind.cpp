#include "files/officekind.h"

#include "files/wordconvert.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cctype>

namespace {

struct KindSuffixes
{
    OfficeKind kind;
    const char *suffixes[6];
};

constexpr KindSuffixes kKinds[] = {
    {OfficeKind::Word, {"docx", "doc"}},
    {OfficeKind::Presentation, {"pptx", "ppt", "pps", "ppsx", "pptm", "odp"}},
    {OfficeKind::Text, {"odt", "rtf", "wps"}},
};

const QByteArray &oleSignature()
{
    static const QByteArray kOle("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    return kOle;
}

// An OpenDocument package names its type in a first, stored "mimetype"
// entry; empty when the ZIP does not start that way.
QByteArray odfMimeType(const QByteArray &head)
{
    // The local header: name length at 26, extra length at 28, name at 30.
    constexpr int kNameAt = 30;
    if (head.size() < kNameAt)
        return QByteArray();
    const auto le16 = [&head](int at) { return int(uchar(head.at(at))) | int(uchar(head.at(at + 1))) << 8; };
    const int nameLength = le16(26);
    const int extraLength = le16(28);
    if (nameLength != 8 || head.mid(kNameAt, nameLength) != "mimetype")
        return QByteArray();
    const QByteArray rest = head.mid(kNameAt + nameLength + extraLength);
    int end = 0;
    while (end < rest.size() && (std::isalnum(uchar(rest.at(end))) || rest.at(end) == '.' || rest.at(end) == '-'
                                 || rest.at(end) == '/' || rest.at(end) == '+'))
        ++end;
    return rest.left(end);
}

struct ZipParts
{
    QByteArray odfType;
    QByteArray directory; // the tail holding the central directory
};

ZipParts readZipParts(QFile &file, const QByteArray &head)
{
    ZipParts parts;
    parts.odfType = odfMimeType(head);
    // Entry names are listed in the central directory at the end.
    constexpr qint64 kTail = 1 << 20;
    file.seek(qMax<qint64>(0, file.size() - kTail));
    parts.directory = file.read(kTail);
    return parts;
}

QString presentationProblem(QFile &file, const QByteArray &head, const QString &source)
{
    if (head.startsWith(oleSignature()))
        return QString();
    if (head.startsWith("PK\x03\x04")) {
        const ZipParts zip = readZipParts(file, head);
        if (zip.odfType.startsWith("application/vnd.oasis.opendocument.presentation"))
            return QString();
        if (zip.odfType.isEmpty()
            && (zip.directory.contains("ppt/presentation") || zip.directory.contains("content.xml")))
            return QString();
        return QStringLiteral("不是有效的演示文稿（压缩包里没有幻灯片）：%1").arg(source);
    }
    return QStringLiteral("不是有效的演示文稿：%1").arg(source);
}

QString textProblem(QFile &file, const QByteArray &head, const QString &source)
{
    if (head.startsWith(oleSignature()) || head.startsWith("{\\rtf"))
        return QString();
    if (head.startsWith("PK\x03\x04")) {
        const ZipParts zip = readZipParts(file, head);
        if (zip.odfType.startsWith("application/vnd.oasis.opendocument.text"))
            return QString();
        if (zip.odfType.isEmpty()
            && (zip.directory.contains("word/document") || zip.directory.contains("content.xml")))
            return QString();
        return QStringLiteral("不是有效的文档（压缩包里没有正文）：%1").arg(source);
    }
    return QStringLiteral("不是有效的文档：%1").arg(source);
}

} // namespace

OfficeKind officeKindOf(const QString &path)
{
    const QString suffix = path.section(QLatin1Char('.'), -1).toLower();
    if (!path.contains(QLatin1Char('.')))
        return OfficeKind::None;
    for (const KindSuffixes &entry : kKinds) {
        for (const char *known : entry.suffixes) {
            if (known && suffix == QLatin1String(known))
                return entry.kind;
        }
    }
    return OfficeKind::None;
}

bool isOfficeDocument(const QString &path)
{
    return officeKindOf(path) != OfficeKind::None;
}

QStringList officePatterns(OfficeKind kind)
{
    QStringList patterns;
    for (const KindSuffixes &entry : kKinds) {
        if (entry.kind != kind)
            continue;
        for (const char *known : entry.suffixes) {
            if (known)
                patterns.append(QStringLiteral("*.") + QLatin1String(known));
        }
    }
    return patterns;
}

QStringList allOfficePatterns()
{
    return officePatterns(OfficeKind::Word) + officePatterns(OfficeKind::Presentation)
        + officePatterns(OfficeKind::Text);
}

QString officeKindWord(OfficeKind kind)
{
    switch (kind) {
    case OfficeKind::Presentation:
        return QStringLiteral("演示文稿");
    case OfficeKind::Text:
        return QStringLiteral("文档");
    case OfficeKind::Word:
    case OfficeKind::None:
        break;
    }
    return QStringLiteral("Word 文档");
}

QString officeContentProblem(const QString &source)
{
    const OfficeKind kind = officeKindOf(source);
    if (kind == OfficeKind::Word)
        return wordContentProblem(source);
    const QString word = officeKindWord(kind);
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取%1：%2").arg(word, source);
    if (file.size() == 0)
        return QStringLiteral("%1是空的（0 字节）：%2").arg(word, source);
    const QByteArray head = file.read(512);
    switch (kind) {
    case OfficeKind::Presentation:
        return presentationProblem(file, head, source);
    case OfficeKind::Text:
        return textProblem(file, head, source);
    case OfficeKind::Word:
    case OfficeKind::None:
        break;
    }
    return QStringLiteral("不是%1：%2").arg(word, source);
}

bool libreOfficeReadsPresentations(const QString &soffice)
{
    const QString program = QFileInfo(soffice).canonicalFilePath();
    if (program.isEmpty())
        return true;
    // program/soffice beside share/registry, on every platform's install.
    const QString registry = QFileInfo(program).dir().absoluteFilePath(QStringLiteral("../share/registry"));
    if (!QFileInfo(registry).isDir())
        return true;
    return QFileInfo::exists(registry + QStringLiteral("/impress.xcd"));
}

bool hasConverterFor(OfficeKind kind)
{
    if (kind == OfficeKind::Presentation)
        return !findSoffice().isEmpty();
    return hasConverter();
}
