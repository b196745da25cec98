#include "files/crc32.h"
#include "files/package.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The package container: byte layout, interoperability with standard ZIP
// tools, every reader message on broken input, and the atomic writer.
namespace {

QByteArray samplePdf(int size, quint32 seed)
{
    QByteArray pdf("%PDF-1.4\n");
    QRandomGenerator gen(seed);
    while (pdf.size() < size)
        pdf.append(char(gen.bounded(256)));
    pdf.truncate(size);
    return pdf;
}

QJsonObject sampleInk()
{
    QJsonObject stroke{ { QStringLiteral("c"), QStringLiteral("#d32f2f") },
                        { QStringLiteral("w"), 0.004 },
                        { QStringLiteral("p"), QJsonArray{ 0.1, 0.2, 0.3, 0.4 } } };
    QJsonObject pages{ { QStringLiteral("0"), QJsonArray{ stroke } },
                       { QStringLiteral("12"), QJsonArray{ stroke, stroke } } };
    return QJsonObject{ { QStringLiteral("version"), 1 }, { QStringLiteral("pages"), pages } };
}

quint32 le32(const QByteArray &b, int pos)
{
    return quint32(uchar(b[pos])) | quint32(uchar(b[pos + 1])) << 8 | quint32(uchar(b[pos + 2])) << 16
        | quint32(uchar(b[pos + 3])) << 24;
}
quint16 le16(const QByteArray &b, int pos) { return quint16(uchar(b[pos]) | uchar(b[pos + 1]) << 8); }
void set32(QByteArray &b, int pos, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[pos + i] = char((v >> (8 * i)) & 0xFF);
}
void set16(QByteArray &b, int pos, quint16 v)
{
    b[pos] = char(v & 0xFF);
    b[pos + 1] = char(v >> 8);
}

// A hand-built archive for broken and foreign variants: entries as given,
// stored unless a method is named, optional trailing comment.
struct Entry
{
    QByteArray name;
    QByteArray data;
    quint16 method = 0;
};
QByteArray buildZip(const QList<Entry> &entries, const QByteArray &comment = QByteArray(),
                    quint16 declaredComment = 0)
{
    QByteArray out;
    QList<quint32> offsets;
    auto p16 = [&out](quint16 v) { out.append(char(v & 0xFF)).append(char(v >> 8)); };
    auto p32 = [&](quint32 v) { p16(quint16(v & 0xFFFF)); p16(quint16(v >> 16)); };
    for (const Entry &e : entries) {
        offsets.append(quint32(out.size()));
        p32(0x04034B50); p16(20); p16(0); p16(e.method); p16(0); p16(0x5821);
        p32(zipCrc32(e.data.constData(), e.data.size())); p32(quint32(e.data.size())); p32(quint32(e.data.size()));
        p16(quint16(e.name.size())); p16(0);
        out.append(e.name).append(e.data);
    }
    const auto cd = quint32(out.size());
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        p32(0x02014B50); p16(20); p16(20); p16(0); p16(e.method); p16(0); p16(0x5821);
        p32(zipCrc32(e.data.constData(), e.data.size())); p32(quint32(e.data.size())); p32(quint32(e.data.size()));
        p16(quint16(e.name.size())); p16(0); p16(0); p16(0); p16(0); p32(0); p32(offsets[i]);
        out.append(e.name);
    }
    const auto cdSize = quint32(out.size()) - cd;
    p32(0x06054B50); p16(0); p16(0); p16(quint16(entries.size())); p16(quint16(entries.size()));
    p32(cdSize); p32(cd); p16(declaredComment);
    out.append(comment);
    return out;
}

QByteArray validPackage(const QByteArray &pdf = samplePdf(3000, 1))
{
    return encodePackage(pdf, sampleInk(), QJsonObject(), QStringLiteral("x.dpz"));
}

// Offsets inside validPackage() of the fields the table lies about.
struct Layout
{
    int cdPdf; // central header of source.pdf
    int cdJson;
    int end;
};
Layout layoutOf(const QByteArray &pkg)
{
    Layout l;
    l.end = pkg.size() - 22;
    l.cdPdf = int(le32(pkg, l.end + 16));
    l.cdJson = l.cdPdf + 46 + 10;
    return l;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The messages the reader may give, for checking fuzzed input.
bool isReaderMessage(const QString &error, const QString &path)
{
    static const QStringList kSuffixes{ QStringLiteral(" 不是有效的批注包（文件太小）"),
                                        QStringLiteral(" 不是有效的批注包（缺少 ZIP 结束记录）"),
                                        QStringLiteral(" 的中央目录已损坏"),
                                        QStringLiteral(" 的中央目录越界"),
                                        QStringLiteral("，仅支持未压缩存储"),
                                        QStringLiteral(" 的本地文件头已损坏"),
                                        QStringLiteral(" 的条目数据越界"),
                                        QStringLiteral(" 缺少 source.pdf 或 annotations.json") };
    if (!error.startsWith(path))
        return false;
    if (error.startsWith(path + QStringLiteral(" 的 annotations.json 无法解析：")))
        return true;
    for (const QString &s : kSuffixes) {
        if (error.endsWith(s))
            return true;
    }
    return false;
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT
private slots:
    void crcMatchesReference_data();
    void crcMatchesReference();
    void layoutAsTabled();
    void roundTrip_data();
    void roundTrip();
    void twoSavesAreIdentical();
    void standardToolsAcceptOurPackage();
    void readsForeignArchive();
    void badInput_data();
    void badInput();
    void unopenableFile_data();
    void unopenableFile();
    void duplicateNameLaterWins();
    void damageIsReportedNotHidden();
    void fuzzedPackagesNeverCrash();
    void looksLikePackageTest_data();
    void looksLikePackageTest();
};

void TestPackage::crcMatchesReference_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint32>("crc");
    QTest::newRow("empty") << QByteArray() << 0u;
    QTest::newRow("check value") << QByteArray("123456789") << 0xCBF43926u;
    QTest::newRow("fox") << QByteArray("The quick brown fox jumps over the lazy dog") << 0x414FA339u;
    QTest::newRow("one zero byte") << QByteArray(1, '\0') << 0xD202EF8Du;
}

void TestPackage::crcMatchesReference()
{
    QFETCH(QByteArray, data);
    QFETCH(quint32, crc);
    QCOMPARE(zipCrc32(data.constData(), data.size()), crc);
    // Every length and split point against the bit-by-bit definition.
    const QByteArray bytes = samplePdf(77, 9);
    for (int len = 0; len <= bytes.size(); ++len) {
        quint32 ref = 0xFFFFFFFFu;
        for (int i = 0; i < len; ++i) {
            ref ^= uchar(bytes[i]);
            for (int k = 0; k < 8; ++k)
                ref = (ref & 1u) ? (0xEDB88320u ^ (ref >> 1)) : (ref >> 1);
        }
        ref = ~ref;
        QCOMPARE(zipCrc32(bytes.constData(), len), ref);
        const int half = len / 3;
        QCOMPARE(zipCrc32(bytes.constData() + half, len - half, zipCrc32(bytes.constData(), half)), ref);
    }
    // A large buffer is checked in pieces on several threads: the same CRC
    // as one serial pass, also when continuing an earlier CRC.
    const QByteArray big = samplePdf(40 << 20, 11);
    quint32 serial = 0;
    for (qsizetype at = 0; at < big.size(); at += 8 << 20) // small pieces stay serial
        serial = zipCrc32(big.constData() + at, qMin<qsizetype>(8 << 20, big.size() - at), serial);
    QCOMPARE(zipCrc32(big.constData(), big.size()), serial);
    QCOMPARE(zipCrc32(big.constData() + 5, big.size() - 5, zipCrc32(big.constData(), 5)), serial);
}

void TestPackage::layoutAsTabled()
{
    const QByteArray pdf = samplePdf(1234, 2);
    const QByteArray pkg = validPackage(pdf);
    const QByteArray json = QJsonDocument(sampleInk()).toJson(QJsonDocument::Indented);
    const quint32 pdfCrc = zipCrc32(pdf.constData(), pdf.size());

    QCOMPARE(le32(pkg, 0), 0x04034B50u);
    QCOMPARE(le16(pkg, 4), quint16(20));
    QCOMPARE(le16(pkg, 6), quint16(0));
    QCOMPARE(le16(pkg, 8), quint16(0));
    QCOMPARE(le16(pkg, 10), quint16(0));
    QCOMPARE(le16(pkg, 12), quint16(0x5821));
    QCOMPARE(le32(pkg, 14), pdfCrc);
    QCOMPARE(le32(pkg, 18), quint32(pdf.size()));
    QCOMPARE(le32(pkg, 22), quint32(pdf.size()));
    QCOMPARE(le16(pkg, 26), quint16(10));
    QCOMPARE(le16(pkg, 28), quint16(0));
    QCOMPARE(pkg.mid(30, 10), QByteArray("source.pdf"));
    QCOMPARE(pkg.mid(40, pdf.size()), pdf);

    const int jsonLocal = 40 + pdf.size();
    QCOMPARE(le32(pkg, jsonLocal), 0x04034B50u);
    QCOMPARE(pkg.mid(jsonLocal + 30, 16), QByteArray("annotations.json"));
    QCOMPARE(pkg.mid(jsonLocal + 46, json.size()), json);
    QVERIFY(json.contains("\n    \"pages\""));

    const int cd = jsonLocal + 46 + json.size();
    QCOMPARE(le32(pkg, cd), 0x02014B50u);
    QCOMPARE(le16(pkg, cd + 4), quint16(20));
    QCOMPARE(le16(pkg, cd + 6), quint16(20));
    QCOMPARE(le16(pkg, cd + 14), quint16(0x5821));
    QCOMPARE(le32(pkg, cd + 16), pdfCrc);
    QCOMPARE(le32(pkg, cd + 20), quint32(pdf.size()));
    QCOMPARE(le16(pkg, cd + 28), quint16(10));
    QCOMPARE(le16(pkg, cd + 32), quint16(0));
    QCOMPARE(le32(pkg, cd + 38), 0u);
    QCOMPARE(le32(pkg, cd + 42), 0u);
    const int cd2 = cd + 46 + 10;
    QCOMPARE(le32(pkg, cd2 + 16), zipCrc32(json.constData(), json.size()));
    QCOMPARE(le32(pkg, cd2 + 42), quint32(jsonLocal));
    QCOMPARE(pkg.mid(cd2 + 46, 16), QByteArray("annotations.json"));

    const int end = cd2 + 46 + 16;
    QCOMPARE(pkg.size(), end + 22);
    QCOMPARE(le32(pkg, end), 0x06054B50u);
    QCOMPARE(le16(pkg, end + 8), quint16(2));
    QCOMPARE(le16(pkg, end + 10), quint16(2));
    QCOMPARE(le32(pkg, end + 12), quint32(end - cd));
    QCOMPARE(le32(pkg, end + 16), quint32(cd));
    QCOMPARE(le16(pkg, end + 20), quint16(0));
}

void TestPackage::roundTrip_data()
{
    QTest::addColumn<QJsonObject>("annotations");
    QTest::addColumn<QJsonObject>("fingerprint");
    QTest::addColumn<QJsonObject>("expected");
    const QJsonObject fp{ { QStringLiteral("path"), QStringLiteral("/a/b.pdf") }, { QStringLiteral("size"), 5 } };
    QJsonObject withSource = sampleInk();
    withSource.insert(QStringLiteral("source"), fp);
    QJsonObject oldSource = sampleInk();
    oldSource.insert(QStringLiteral("source"), QStringLiteral("stale"));
    QTest::newRow("plain save keeps the object") << sampleInk() << QJsonObject() << sampleInk();
    QTest::newRow("working copy adds source") << sampleInk() << fp << withSource;
    QTest::newRow("fingerprint replaces source") << oldSource << fp << withSource;
    QTest::newRow("empty object") << QJsonObject() << QJsonObject() << QJsonObject();
}

void TestPackage::roundTrip()
{
    QFETCH(QJsonObject, annotations);
    QFETCH(QJsonObject, fingerprint);
    QFETCH(QJsonObject, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("课件 一.DPZ"));
    const QByteArray pdf = samplePdf(50000, 3);
    QString error;
    QVERIFY2(writePackage(path, pdf, annotations, &error, fingerprint), qPrintable(error));
    QByteArray pdfBack;
    QJsonObject jsonBack;
    QVERIFY2(readPackage(path, &pdfBack, &jsonBack, &error), qPrintable(error));
    QCOMPARE(pdfBack, pdf);
    QCOMPARE(jsonBack, expected);
    // JSON only: the PDF output is optional.
    QJsonObject jsonOnly;
    QVERIFY(readPackage(path, nullptr, &jsonOnly, &error));
    QCOMPARE(jsonOnly, expected);
}

void TestPackage::twoSavesAreIdentical()
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.dpz"));
    const QString b = dir.filePath(QStringLiteral("b.dpz"));
    const QByteArray pdf = samplePdf(20000, 4);
    QVERIFY(writePackage(a, pdf, sampleInk()));
    QTest::qWait(1100); // a clock-derived stamp would differ now
    QVERIFY(writePackage(b, pdf, sampleInk()));
    QCOMPARE(readFile(a), readFile(b));
    QVERIFY(writePackage(a, pdf, sampleInk()));
    QCOMPARE(readFile(a), readFile(b));
    // The streamed file is exactly the archive laid out in memory.
    QCOMPARE(readFile(a), encodePackage(pdf, sampleInk(), QJsonObject(), a));
}

void TestPackage::standardToolsAcceptOurPackage()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lesson.dpz"));
    const QByteArray pdf = samplePdf(300000, 5);
    QVERIFY(writePackage(path, pdf, sampleInk()));
    bool ranOne = false;

    const QString unzip = QStandardPaths::findExecutable(QStringLiteral("unzip"));
    if (!unzip.isEmpty()) {
        QProcess p;
        p.start(unzip, { QStringLiteral("-t"), path });
        QVERIFY(p.waitForFinished(60000));
        const QByteArray out = p.readAllStandardOutput();
        QVERIFY2(p.exitCode() == 0, out.constData());
        QVERIFY(out.contains("testing: source.pdf"));
        QVERIFY(out.contains("testing: annotations.json"));
        QVERIFY(out.contains("No errors detected"));
        ranOne = true;
    }
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (!python.isEmpty()) {
        QProcess p;
        p.start(python, { QStringLiteral("-m"), QStringLiteral("zipfile"), QStringLiteral("-t"), path });
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        // Entries, order, method, date and content as a ZIP library sees them.
        const QString script = QStringLiteral(
            "import sys, zipfile, json\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "assert z.testzip() is None\n"
            "for i in z.infolist():\n"
            "    print(i.filename, i.compress_type, i.date_time, i.file_size)\n"
            "print(len(json.loads(z.read('annotations.json'))['pages']['12']))\n");
        p.start(python, { QStringLiteral("-c"), script, path });
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QStringList lines = out.trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("source.pdf 0 (2024, 1, 1, 0, 0, 0) 300000"));
        QVERIFY(lines[1].startsWith(QStringLiteral("annotations.json 0 (2024, 1, 1, 0, 0, 0) ")));
        QCOMPARE(lines[2], QStringLiteral("2"));
        ranOne = true;
    }
    if (!ranOne)
        QSKIP("neither unzip nor python3 is installed");
}

void TestPackage::readsForeignArchive()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("foreign.zip"));
    // Another writer's stored archive, with an extra entry, other order and a comment.
    const QString script = QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:\n"
        "    z.writestr('readme.txt', 'hello')\n"
        "    z.writestr('annotations.json', '{\"version\": 1, \"pages\": {}}')\n"
        "    z.writestr('source.pdf', b'%PDF-1.7 foreign')\n"
        "    z.comment = b'made elsewhere'\n");
    QProcess p;
    p.start(python, { QStringLiteral("-c"), script, path });
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(looksLikePackage(path));
    QByteArray pdf;
    QJsonObject json;
    QString error;
    QVERIFY2(readPackage(path, &pdf, &json, &error), qPrintable(error));
    QCOMPARE(pdf, QByteArray("%PDF-1.7 foreign"));
    QCOMPARE(json.value(QStringLiteral("version")).toInt(), 1);
}

void TestPackage::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message"); // %1 is the path
    QTest::addColumn<bool>("prefixOnly");

    const QByteArray pkg = validPackage();
    const Layout l = layoutOf(pkg);
    const QString tooSmall = QStringLiteral("%1 不是有效的批注包（文件太小）");
    const QString noEnd = QStringLiteral("%1 不是有效的批注包（缺少 ZIP 结束记录）");
    const QString cdBroken = QStringLiteral("%1 的中央目录已损坏");
    const QString cdOut = QStringLiteral("%1 的中央目录越界");
    const QString localBroken = QStringLiteral("%1 的本地文件头已损坏");
    const QString dataOut = QStringLiteral("%1 的条目数据越界");
    const QString missing = QStringLiteral("%1 缺少 source.pdf 或 annotations.json");
    const QString badJson = QStringLiteral("%1 的 annotations.json 无法解析：");
    auto patched32 = [&pkg](int pos, quint32 v) { QByteArray b = pkg; set32(b, pos, v); return b; };
    auto patched16 = [&pkg](int pos, quint16 v) { QByteArray b = pkg; set16(b, pos, v); return b; };

    QTest::newRow("empty file") << QByteArray() << tooSmall << false;
    QTest::newRow("21 bytes") << pkg.right(21) << tooSmall << false;
    QTest::newRow("bare end record") << pkg.right(22).replace(8, 4, QByteArray(4, '\0')).replace(12, 10, QByteArray(10, '\0'))
                                     << missing << false;
    QByteArray noise = samplePdf(5000, 77).replace('P', 'Q');
    QTest::newRow("random bytes") << noise << noEnd << false;
    QTest::newRow("truncated by one byte") << pkg.left(pkg.size() - 1) << noEnd << false;
    QTest::newRow("truncated to half") << pkg.left(pkg.size() / 2) << noEnd << false;
    QTest::newRow("middle cut out") << (pkg.left(1000) + pkg.mid(2000)) << cdBroken << false;
    QTest::newRow("directory offset past the end") << patched32(l.end + 16, quint32(pkg.size() + 5)) << cdBroken << false;
    QTest::newRow("directory offset 0xFFFFFFFF") << patched32(l.end + 16, 0xFFFFFFFFu) << cdBroken << false;
    QTest::newRow("directory offset into data") << patched32(l.end + 16, 100) << cdBroken << false;
    QTest::newRow("entry count too high") << patched16(l.end + 10, 3) << cdBroken << false;
    QTest::newRow("entry count 65535") << patched16(l.end + 10, 0xFFFF) << cdBroken << false;
    QTest::newRow("entry count 0") << patched16(l.end + 10, 0) << missing << false;
    QTest::newRow("name length past the end") << patched16(l.cdJson + 28, 0xFFFF) << cdOut << false;
    QTest::newRow("header cut by end of file") << pkg.left(l.cdJson + 20) + pkg.right(22).replace(16, 4, pkg.mid(l.end + 16, 4))
                                              << cdOut << false;
    QTest::newRow("extra length skips the next header") << patched16(l.cdPdf + 30, 3) << cdBroken << false;
    QTest::newRow("deflated entry")
        << buildZip({ { "source.pdf", "%PDF", 8 }, { "annotations.json", "{}", 0 } })
        << QStringLiteral("%1 使用了不支持的压缩方式（method 8），仅支持未压缩存储") << false;
    QTest::newRow("extra deflated entry")
        << buildZip({ { "source.pdf", "%PDF", 0 }, { "annotations.json", "{}", 0 }, { "notes.txt", "x", 8 } })
        << QStringLiteral("%1 使用了不支持的压缩方式（method 8），仅支持未压缩存储") << false;
    QTest::newRow("method 65535") << patched16(l.cdPdf + 10, 0xFFFF)
                                  << QStringLiteral("%1 使用了不支持的压缩方式（method 65535），仅支持未压缩存储") << false;
    QTest::newRow("local offset into data") << patched32(l.cdPdf + 42, 1234) << localBroken << false;
    QTest::newRow("local offset past the end") << patched32(l.cdJson + 42, 0xFFFFFFF0u) << localBroken << false;
    QTest::newRow("local offset at last bytes") << patched32(l.cdJson + 42, quint32(pkg.size() - 2)) << localBroken << false;
    QTest::newRow("size past the end") << patched32(l.cdPdf + 20, quint32(pkg.size())) << dataOut << false;
    QTest::newRow("size 0xFFFFFFFF") << patched32(l.cdJson + 20, 0xFFFFFFFFu) << dataOut << false;
    QTest::newRow("local name length lies") << patched16(le32(pkg, l.cdJson + 42) + 26, 0xFFFF) << dataOut << false;
    // A local signature in the last four bytes (the comment): the header itself is cut off.
    QByteArray cutHeader = buildZip({ { "source.pdf", "%PDF", 0 }, { "annotations.json", "{}", 0 } },
                                    QByteArray("PK\x03\x04", 4), 4);
    set32(cutHeader, int(le32(cutHeader, cutHeader.size() - 26 + 16)) + 46 + 10 + 42, quint32(cutHeader.size() - 4));
    QTest::newRow("local header at the very end") << cutHeader << dataOut << false;
    QTest::newRow("names differ in case")
        << buildZip({ { "Source.pdf", "%PDF", 0 }, { "annotations.json", "{}", 0 } }) << missing << false;
    QTest::newRow("json name differs in case")
        << buildZip({ { "source.pdf", "%PDF", 0 }, { "Annotations.JSON", "{}", 0 } }) << missing << false;
    QTest::newRow("only the pdf") << buildZip({ { "source.pdf", "%PDF", 0 } }) << missing << false;
    QTest::newRow("json is an array")
        << buildZip({ { "source.pdf", "%PDF", 0 }, { "annotations.json", "[1, 2]", 0 } })
        << badJson + QStringLiteral("顶层不是 JSON 对象") << false;
    QTest::newRow("json is a number")
        << buildZip({ { "source.pdf", "%PDF", 0 }, { "annotations.json", "42", 0 } }) << badJson << true;
    QTest::newRow("json is broken")
        << buildZip({ { "source.pdf", "%PDF", 0 }, { "annotations.json", "{\"pages\": ", 0 } }) << badJson << true;
    QTest::newRow("json is empty")
        << buildZip({ { "source.pdf", "%PDF", 0 }, { "annotations.json", "", 0 } }) << badJson << true;
    const QByteArray shortPkg = buildZip({ { "source.pdf", "%PDF", 0 }, { "annotations.json", "{}", 0 } });
    QTest::newRow("trailing data beyond the comment reach")
        << shortPkg + QByteArray(65537, 'c') << noEnd << false;
}

void TestPackage::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QFETCH(bool, prefixOnly);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("坏的.dpz"));
    QVERIFY(writeFile(path, bytes));
    const QString expected = message.arg(path);

    // Outputs must stay as they were on failure.
    QByteArray pdf("untouched");
    QJsonObject json{ { QStringLiteral("keep"), true } };
    QString error;
    QVERIFY(!readPackage(path, &pdf, &json, &error));
    if (prefixOnly)
        QVERIFY2(error.startsWith(expected) && error.size() > expected.size(), qPrintable(error));
    else
        QCOMPARE(error, expected);
    QCOMPARE(pdf, QByteArray("untouched"));
    QCOMPARE(json, (QJsonObject{ { QStringLiteral("keep"), true } }));

    // The same verdict straight from memory, on an exactly sized copy.
    QString memoryError;
    const QByteArray exact(bytes.constData(), bytes.size());
    QVERIFY(!decodePackage(exact, path, &pdf, &json, &memoryError));
    QCOMPARE(memoryError, error);
}

void TestPackage::unopenableFile_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("missing") << QStringLiteral("missing.dpz");
    QTest::newRow("a folder") << QStringLiteral("folder.dpz");
}

void TestPackage::unopenableFile()
{
    QFETCH(QString, relative);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.dpz")));
    const QString path = dir.filePath(relative);
    QString error;
    QVERIFY(!readPackage(path, nullptr, nullptr, &error));
    const QString prefix = QStringLiteral("无法打开 %1：").arg(path);
    QVERIFY2(error.startsWith(prefix) && error.size() > prefix.size(), qPrintable(error));
}

void TestPackage::duplicateNameLaterWins()
{
    const QByteArray twice = buildZip({ { "source.pdf", "%PDF-old", 0 },
                                        { "annotations.json", "{\"n\": 1}", 0 },
                                        { "source.pdf", "%PDF-new", 0 },
                                        { "annotations.json", "{\"n\": 2}", 0 } });
    QByteArray pdf;
    QJsonObject json;
    QString error;
    QVERIFY2(decodePackage(twice, QStringLiteral("d.dpz"), &pdf, &json, &error), qPrintable(error));
    QCOMPARE(pdf, QByteArray("%PDF-new"));
    QCOMPARE(json.value(QStringLiteral("n")).toInt(), 2);

    // Comments up to the longest a record can announce are still searched through.
    for (int commentSize : { 1, 65535, 65536 }) {
        QByteArray withComment = buildZip({ { "annotations.json", "{}", 0 }, { "source.pdf", "%PDF", 0 } },
                                          QByteArray(commentSize, 'c'), quint16(qMin(commentSize, 0xFFFF)));
        QVERIFY2(decodePackage(withComment, QStringLiteral("c.dpz"), &pdf, &json, &error), qPrintable(error));
        QCOMPARE(pdf, QByteArray("%PDF"));
    }
}

// A byte flipped in transit, or a central directory that lies about a size:
// the package still opens (a lesson must be rescuable) but says so.
void TestPackage::damageIsReportedNotHidden()
{
    const QByteArray pdf = samplePdf(509, 3);
    const QByteArray good = validPackage(pdf);
    const Layout l = layoutOf(good);
    const QString path = QStringLiteral("lesson.dpz");
    QList<PackageDamage> damage{ PackageDamage() };
    QByteArray out;
    QVERIFY(decodePackage(good, path, &out, nullptr, nullptr, &damage));
    QVERIFY(damage.isEmpty());

    // One flipped byte in each entry: the PDF's first data byte and a digit
    // of the JSON ("version": 1 becomes 2).
    QByteArray flipped = good;
    flipped[30 + 10] = char(flipped[30 + 10] ^ 0x01);
    const int digit = flipped.indexOf("\"version\": 1") + 11;
    flipped[digit] = '2';
    QJsonObject json;
    QVERIFY(decodePackage(flipped, path, &out, &json, nullptr, &damage));
    QCOMPARE(damage.size(), 2);
    QCOMPARE(damage.at(0).entry, QStringLiteral("annotations.json"));
    QCOMPARE(damage.at(1).entry, QStringLiteral("source.pdf"));
    QCOMPARE(damage.at(1).check, PackageDamage::Check::Crc);
    QCOMPARE(damage.at(1).recorded, zipCrc32(pdf.constData(), pdf.size()));
    QCOMPARE(damage.at(1).found, zipCrc32(out.constData(), out.size()));
    QVERIFY(damage.at(1).describe().contains(QStringLiteral("source.pdf")));
    QCOMPARE(json.value(QStringLiteral("version")).toInt(), 2);
    // Read for its ink only, the PDF is not checked.
    QVERIFY(decodePackage(flipped, path, nullptr, &json, nullptr, &damage));
    QCOMPARE(damage.size(), 1);

    // The central directory says 10 bytes; the local header and the CRC
    // agree on 509: the whole PDF comes out, and the lie is reported.
    QByteArray lying = good;
    set32(lying, l.cdPdf + 20, 10);
    set32(lying, l.cdPdf + 24, 10);
    QVERIFY(decodePackage(lying, path, &out, nullptr, nullptr, &damage));
    QCOMPARE(out, pdf);
    QCOMPARE(damage.size(), 1);
    QCOMPARE(damage.at(0).check, PackageDamage::Check::Size);
    QCOMPARE(damage.at(0).recorded, 10u);
    QCOMPARE(damage.at(0).found, 509u);
}

void TestPackage::fuzzedPackagesNeverCrash()
{
    const QByteArray base = validPackage(samplePdf(600, 6));
    const Layout l = layoutOf(base);
    const int fieldOffsets[] = { l.end + 10, l.end + 12, l.end + 16, l.end + 20, l.cdPdf + 10, l.cdPdf + 20,
                                 l.cdPdf + 28, l.cdPdf + 30, l.cdPdf + 32, l.cdPdf + 42, l.cdJson + 20,
                                 l.cdJson + 28, l.cdJson + 42, 26, 28, 18 };
    QRandomGenerator gen(20240101);
    const QString path = QStringLiteral("fuzz.dpz");
    int accepted = 0;
    constexpr int kRounds = 4000;
    for (int round = 0; round < kRounds; ++round) {
        QByteArray b = base;
        const int mutations = 1 + gen.bounded(4);
        for (int m = 0; m < mutations; ++m) {
            switch (gen.bounded(4)) {
            case 0: // a random byte anywhere
                b[gen.bounded(b.size())] = char(gen.bounded(256));
                break;
            case 1: { // a header field set to a boundary or random value
                const int pos = fieldOffsets[gen.bounded(int(std::size(fieldOffsets)))];
                const quint32 values[] = { 0u, 1u, 0xFFFFu, 0xFFFFFFFFu, quint32(b.size()), gen.generate() };
                if (pos + 4 <= b.size())
                    set32(b, pos, values[gen.bounded(int(std::size(values)))]);
                break;
            }
            case 2: // truncation
                b.truncate(gen.bounded(b.size() + 1));
                break;
            default: // junk appended
                b.append(QByteArray(gen.bounded(64), char(gen.bounded(256))));
                break;
            }
            if (b.isEmpty())
                break;
        }
        const QByteArray exact(b.constData(), b.size());
        QByteArray pdf;
        QJsonObject json;
        QString error;
        if (decodePackage(exact, path, &pdf, &json, &error)) {
            ++accepted;
            QVERIFY(pdf.size() <= exact.size());
        } else {
            QVERIFY2(isReaderMessage(error, path), qPrintable(error));
        }
    }
    qInfo("fuzz: %d of %d mutated packages still decoded", accepted, kRounds);
}

void TestPackage::looksLikePackageTest_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<bool>("expected");
    QTest::newRow("missing .dpz") << QStringLiteral("a.dpz") << QByteArray() << true;
    QTest::newRow("missing upper-case .DPZ") << QStringLiteral("a.DPZ") << QByteArray() << true;
    QTest::newRow("zip named .zip") << QStringLiteral("a.zip") << validPackage() << true;
    QTest::newRow("zip without suffix") << QStringLiteral("lesson") << QByteArray("PK\x03\x04rest", 8) << true;
    QTest::newRow("pdf") << QStringLiteral("a.pdf") << QByteArray("%PDF-1.4\n") << false;
    QTest::newRow("missing pdf") << QStringLiteral("b.pdf") << QByteArray() << false;
    QTest::newRow("empty file") << QStringLiteral("e.pdf") << QByteArray("") << false;
    QTest::newRow("three signature bytes") << QStringLiteral("t.bin") << QByteArray("PK\x03", 3) << false;
    QTest::newRow("end record first") << QStringLiteral("z.bin") << QByteArray("PK\x05\x06", 4) << false;
}

void TestPackage::looksLikePackageTest()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (!content.isNull())
        QVERIFY(writeFile(path, content));
    QCOMPARE(looksLikePackage(path), expected);
}

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
