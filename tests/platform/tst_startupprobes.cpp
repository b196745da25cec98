#include "platform/systemcheck.h"
#include "platform/elfprobe.h"
#include "platform/peprobe.h"
#include "platform/startupenv.h"

#include <QFile>
#include <QHash>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

// The start-up probes that explain a program that cannot start: the system
// version gate and the import probes of the platform plug-in, run on
// crafted images so every branch of the byte parsers is reached.
namespace {

void put16(QByteArray &b, int at, quint32 v)
{
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}
void put32(QByteArray &b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xff);
}
void put64(QByteArray &b, int at, quint64 v)
{
    put32(b, at, quint32(v));
    put32(b, at + 4, quint32(v >> 32));
}

struct CraftedImport
{
    QByteArray dll;
    QList<QByteArray> functions; // an empty entry stands for an import by ordinal
    bool viaAddressTable = false; // lookup table address left 0
    bool nameless = false;        // name address 0, thunks set
};

constexpr quint32 kPeSectionRva = 0x1000;

quint32 peRva(int sectionOffset)
{
    return kPeSectionRva + quint32(sectionOffset);
}

// A minimal PE32+ image: headers in the first 0x200 bytes, then one section
// at RVA 0x1000 holding data, which starts with the import descriptors.
QByteArray peAround(const QByteArray &data)
{
    constexpr int kHeader = 0x80;
    constexpr int kSectionFile = 0x200;
    QByteArray pe(kSectionFile, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    put32(pe, 0x3C, kHeader);
    put32(pe, kHeader, 0x00004550);
    put16(pe, kHeader + 6, 1);
    put16(pe, kHeader + 20, 240);
    put16(pe, kHeader + 24, 0x20B);
    put32(pe, kHeader + 144, kPeSectionRva);
    const int section = kHeader + 24 + 240;
    put32(pe, section + 8, quint32(data.size()));
    put32(pe, section + 12, kPeSectionRva);
    put32(pe, section + 16, quint32(data.size()));
    put32(pe, section + 20, kSectionFile);
    pe.append(data);
    if (pe.size() < 1024)
        pe.append(QByteArray(1024 - pe.size(), '\0'));
    return pe;
}

QByteArray craftPe(const QList<CraftedImport> &imports)
{
    QByteArray data(20 * (imports.size() + 1), '\0');
    for (int i = 0; i < imports.size(); ++i) {
        const CraftedImport &imp = imports.at(i);
        const int lookup = data.size();
        data.append(QByteArray(8 * (imp.functions.size() + 1), '\0'));
        for (int f = 0; f < imp.functions.size(); ++f) {
            if (imp.functions.at(f).isEmpty()) {
                put64(data, lookup + 8 * f, (quint64(1) << 63) | 7);
                continue;
            }
            const int hintName = data.size();
            data.append(QByteArray(2, '\0') + imp.functions.at(f) + '\0');
            put64(data, lookup + 8 * f, peRva(hintName));
        }
        const int name = data.size();
        data.append(imp.dll + '\0');
        const int d = 20 * i;
        put32(data, d, imp.viaAddressTable ? 0 : peRva(lookup));
        put32(data, d + 12, imp.nameless ? 0 : peRva(name));
        put32(data, d + 16, peRva(lookup));
    }
    return peAround(data);
}

// The fuzzer's find: 128 descriptors share one lookup table of 8192 entries
// that all name the same 4095-byte function, about 72 KB in all.
QByteArray craftSharedLookupPe()
{
    constexpr int kDescriptors = 128;
    constexpr int kEntries = 8192;
    QByteArray data(20 * (kDescriptors + 1), '\0');
    const int lookup = data.size();
    data.append(QByteArray(8 * (kEntries + 1), '\0'));
    const int hintName = data.size();
    data.append(QByteArray(2, '\0') + QByteArray(4095, 'f') + '\0');
    const int dll = data.size();
    data.append(QByteArray("KERNEL32.dll") + '\0');
    for (int e = 0; e < kEntries; ++e)
        put64(data, lookup + 8 * e, peRva(hintName));
    for (int d = 0; d < kDescriptors; ++d) {
        put32(data, 20 * d, peRva(lookup));
        put32(data, 20 * d + 12, peRva(dll));
        put32(data, 20 * d + 16, peRva(lookup));
    }
    return peAround(data);
}

// A minimal 64-bit little-endian ELF shared object with one PT_LOAD
// covering the file and a PT_DYNAMIC listing DT_NEEDED entries; equal names
// share one string, as a linker's string table would.
QByteArray craftElf(const QList<QByteArray> &needed)
{
    constexpr quint64 kBase = 0x10000;
    QByteArray elf(64 + 2 * 56, '\0');
    elf.replace(0, 4, "\x7f" "ELF");
    elf[4] = 2;
    elf[5] = 1;
    elf[6] = 1;
    put16(elf, 16, 3);
    put16(elf, 18, 62);
    put32(elf, 20, 1);
    put64(elf, 32, 64);
    put16(elf, 54, 56);
    put16(elf, 56, 2);
    QByteArray strings(1, '\0');
    QList<quint64> offsets;
    QHash<QByteArray, quint64> placed;
    for (const QByteArray &lib : needed) {
        if (!placed.contains(lib)) {
            placed.insert(lib, quint64(strings.size()));
            strings.append(lib + '\0');
        }
        offsets.append(placed.value(lib));
    }
    const int strOff = elf.size();
    elf.append(strings);
    const int dynOff = elf.size();
    QByteArray dyn(16 * (needed.size() + 2), '\0');
    for (int i = 0; i < needed.size(); ++i) {
        put64(dyn, 16 * i, 1);
        put64(dyn, 16 * i + 8, offsets.at(i));
    }
    put64(dyn, 16 * needed.size(), 5);
    put64(dyn, 16 * needed.size() + 8, kBase + quint64(strOff));
    elf.append(dyn);
    // PT_LOAD over the whole file, then PT_DYNAMIC.
    put32(elf, 64, 1);
    put64(elf, 64 + 8, 0);
    put64(elf, 64 + 16, kBase);
    put64(elf, 64 + 32, quint64(elf.size()));
    put32(elf, 120, 2);
    put64(elf, 120 + 8, quint64(dynOff));
    put64(elf, 120 + 16, kBase + quint64(dynOff));
    put64(elf, 120 + 32, quint64(dyn.size()));
    return elf;
}

// VmHWM / VmRSS of this process in bytes, from /proc/self/status.
qint64 procStatusBytes(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Runs work and returns how far the process's peak resident memory rose
// above its resident memory at the start.
qint64 peakGrowth(const std::function<void()> &work)
{
    // "5" resets the peak to the current figure, so an earlier test's peak
    // cannot hide this one's.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    const qint64 before = procStatusBytes("VmRSS");
    work();
    return procStatusBytes("VmHWM") - before;
}

constexpr qint64 kMiB = 1024 * 1024;

} // namespace

class TestStartupProbes : public QObject
{
    Q_OBJECT
private slots:
    void systemGate_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("build");
        QTest::addColumn<bool>("passes");
        QTest::newRow("Windows 10 1709 (16299)") << 10 << 0 << 16299 << true;
        QTest::newRow("Windows 10 build 16298") << 10 << 0 << 16298 << false;
        QTest::newRow("Windows 10 1507") << 10 << 0 << 10240 << false;
        QTest::newRow("Windows 11") << 10 << 0 << 22631 << true;
        QTest::newRow("Windows 8.1") << 6 << 3 << 9600 << false;
        QTest::newRow("a later major version") << 11 << 0 << 100 << true;
    }
    void systemGate()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, build);
        QFETCH(bool, passes);
        QCOMPARE(systemInterfaceCheckPasses(major, minor, build), passes);
    }

    void linuxHasNothingToCheck()
    {
        int major = -1, minor = -1, build = -1;
        QVERIFY(systemInterfacesPresent(&major, &minor, &build));
        QVERIFY(major >= 0);
    }

    void peImportsAreRead()
    {
        const QByteArray pe = craftPe({
            { "KERNEL32.dll", { "CreateFileW", "", "CloseHandle" } },
            { "ghost.dll", { "Boo" }, false, true },
            { "USER32.dll", { "MessageBoxW" }, true },
        });
        QList<PeImport> imports;
        QCOMPARE(readPeImports(pe, QStringLiteral("p.dll"), &imports), QString());
        QCOMPARE(imports.size(), 2); // the nameless descriptor is skipped
        QCOMPARE(imports.at(0).dll, QStringLiteral("KERNEL32.dll"));
        QCOMPARE(imports.at(0).functions, (QStringList{ QStringLiteral("CreateFileW"), QStringLiteral("CloseHandle") }));
        QCOMPARE(imports.at(1).functions, QStringList{ QStringLiteral("MessageBoxW") });
    }

    void peProbe_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("missingDll");
        QTest::addColumn<QString>("missingFunction");
        QTest::addColumn<QString>("report");
        const QString path = QStringLiteral("qwindows.dll");
        const QByteArray good = craftPe({ { "Qt6Gui.dll", { "x" } },
                                          { "VCRUNTIME140.dll", { "memcpy" } },
                                          { "api-ms-win-crt-heap-l1-1-0.dll", { "malloc" } },
                                          { "KERNEL32.dll", { "CreateFileW" } },
                                          { "UxTheme.dll", { "OpenThemeData", "GetThemeColor" } } });
        QTest::newRow("nothing missing") << good << QString() << QString() << QString();
        QTest::newRow("missing module (lower-cased)")
            << good << QStringLiteral("uxtheme.dll") << QString()
            << QStringLiteral("缺模块 uxtheme.dll（LoadLibrary 失败，错误码 126）");
        QTest::newRow("missing export") << good << QString() << QStringLiteral("GetThemeColor")
                                        << QStringLiteral("uxtheme.dll 里缺导出函数 GetThemeColor（本机没有它）");
        QTest::newRow("bundled modules never probed") << good << QStringLiteral("qt6gui.dll") << QStringLiteral("memcpy")
                                                      << QString();
        QTest::newRow("too small") << QByteArray(511, 'M') << QString() << QString()
                                   << QStringLiteral("qwindows.dll 太小，不像 PE 映像");
        QByteArray noSignature = good;
        noSignature[0x80] = 'X';
        QTest::newRow("no PE signature") << noSignature << QString() << QString()
                                         << QStringLiteral("qwindows.dll 不是 PE 映像");
        QByteArray farHeader = good;
        put32(farHeader, 0x3C, 0x7fffffff);
        QTest::newRow("header offset past the end") << farHeader << QString() << QString()
                                                     << QStringLiteral("qwindows.dll 不是 PE 映像");
        QByteArray pe32 = good;
        put16(pe32, 0x80 + 24, 0x10B);
        QTest::newRow("32-bit image") << pe32 << QString() << QString()
                                      << QStringLiteral("qwindows.dll 不是 PE32+（64 位）映像");
        QByteArray noImports = good;
        put32(noImports, 0x80 + 144, 0);
        QTest::newRow("no import table") << noImports << QString() << QString()
                                         << QStringLiteral("qwindows.dll 没有导入表（这不是一个正常链接出来的映像？）");
        QByteArray unmapped = good;
        put32(unmapped, 0x80 + 144, 0x900000);
        QTest::newRow("import table in no section") << unmapped << QStringLiteral("kernel32.dll") << QString()
                                                    << QString();
        QByteArray wildSections = good;
        put16(wildSections, 0x80 + 6, 0xffff);
        QTest::newRow("section count past the end") << wildSections << QString() << QStringLiteral("CreateFileW")
                                                     << QStringLiteral("kernel32.dll 里缺导出函数 CreateFileW（本机没有它）");
    }
    void peProbe()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, missingDll);
        QFETCH(QString, missingFunction);
        QFETCH(QString, report);
        QStringList loaded;
        const QString result = probePeImportBytes(
            bytes, QStringLiteral("qwindows.dll"),
            [&](const QString &dll, quint32 *code) {
                loaded.append(dll);
                if (dll == missingDll) {
                    *code = 126;
                    return false;
                }
                return true;
            },
            [&](const QString &, const QString &function) { return function != missingFunction; });
        QCOMPARE(result, report);
        for (const QString &dll : loaded)
            QVERIFY2(!dll.startsWith(QLatin1String("qt6")) && !dll.startsWith(QLatin1String("vcruntime"))
                         && !dll.startsWith(QLatin1String("api-ms-win-crt")),
                     qPrintable(dll));
    }

    void peProbeOfUnreadableFile()
    {
        const QString path = QStringLiteral("/nonexistent/平台/qwindows.dll");
        const QString result = probePeImports(path, [](const QString &, quint32 *) { return true; },
                                              [](const QString &, const QString &) { return true; });
        QCOMPARE(result, QStringLiteral("读不到 %1").arg(path));
    }

    void peTruncatedAnywhereNeverFaults()
    {
        const QByteArray pe = craftPe({ { "KERNEL32.dll", { "CreateFileW", "ReadFile" } } });
        for (int size = 0; size <= pe.size(); size += 7) {
            QList<PeImport> imports;
            readPeImports(pe.left(size), QStringLiteral("t.dll"), &imports);
        }
    }

    void peImportTableBlowUpIsRefused()
    {
        const QByteArray pe = craftSharedLookupPe();
        QVERIFY(pe.size() < 80 * 1024);
        int loads = 0;
        QString result;
        const qint64 growth = peakGrowth([&] {
            result = probePeImportBytes(
                pe, QStringLiteral("qwindows.dll"),
                [&](const QString &, quint32 *) { ++loads; return true; },
                [](const QString &, const QString &) { return true; });
        });
        QCOMPARE(result, QStringLiteral("qwindows.dll 的导入表过大（被篡改过？）"));
        QCOMPARE(loads, 0);
        QVERIFY2(growth < 64 * kMiB, qPrintable(QString::number(growth / kMiB) + QStringLiteral(" MiB")));
    }

    void elfNeededBlowUpIsRefused()
    {
        // 4000 DT_NEEDED entries naming one 4095-byte string: 16 MB of names
        // from a 68 KB file.
        const QByteArray elf = craftElf(QList<QByteArray>(4000, QByteArray(4095, 'l')));
        QVERIFY(elf.size() < 80 * 1024);
        int loads = 0;
        QString result;
        const qint64 growth = peakGrowth([&] {
            result = probeElfNeededBytes(elf, QStringLiteral("p.so"), [&](const QString &, QString *) {
                ++loads;
                return true;
            });
        });
        QCOMPARE(result, QStringLiteral("p.so 的动态段过大（被篡改过？）"));
        QCOMPARE(loads, 0);
        QVERIFY2(growth < 16 * kMiB, qPrintable(QString::number(growth / kMiB) + QStringLiteral(" MiB")));
    }

    void hugeFileIsNotReadWhole()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("qwindows.dll"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(3) << 30)); // sparse: takes no disk space
        file.close();
        QString pe, elf;
        const qint64 growth = peakGrowth([&] {
            pe = probePeImports(path, [](const QString &, quint32 *) { return true; },
                                [](const QString &, const QString &) { return true; });
            elf = probeElfNeeded(path, [](const QString &, QString *) { return true; });
        });
        const QString tooLarge = QStringLiteral("%1 超过 64 MB，不像平台插件").arg(path);
        QCOMPARE(pe, tooLarge);
        QCOMPARE(elf, tooLarge);
        QVERIFY2(growth < 64 * kMiB, qPrintable(QString::number(growth / kMiB) + QStringLiteral(" MiB")));
    }

    void elfNeededAreRead()
    {
        QStringList needed;
        const QByteArray elf = craftElf({ "libxcb.so.1", "libxkbcommon-x11.so.0" });
        QCOMPARE(readElfNeeded(elf, QStringLiteral("libqxcb.so"), &needed), QString());
        QCOMPARE(needed, (QStringList{ QStringLiteral("libxcb.so.1"), QStringLiteral("libxkbcommon-x11.so.0") }));
    }

    void elfProbe_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("report");
        const QByteArray good = craftElf({ "libxcb.so.1", "libxcb-lectern-missing.so.9" });
        QTest::newRow("missing library") << good
                                         << QStringLiteral("缺模块 libxcb-lectern-missing.so.9（dlopen 失败：not found）");
        QTest::newRow("nothing needed") << craftElf({}) << QString();
        QTest::newRow("too small") << QByteArray("\x7f" "ELF") << QStringLiteral("p.so 太小，不像 ELF 映像");
        QByteArray notElf = good;
        notElf[1] = 'X';
        QTest::newRow("not ELF") << notElf << QStringLiteral("p.so 不是 ELF 映像");
        QByteArray elf32 = good;
        elf32[4] = 1;
        QTest::newRow("32-bit") << elf32 << QStringLiteral("p.so 不是 64 位小端 ELF 映像");
        QByteArray noDynamic = good;
        put32(noDynamic, 120, 6);
        QTest::newRow("no dynamic segment") << noDynamic
                                            << QStringLiteral("p.so 没有动态段（这不是一个正常链接出来的共享库？）");
        QByteArray wildStrings = good;
        put64(wildStrings, wildStrings.size() - 32 + 8, 0x7fff0000);
        QTest::newRow("string table in no segment") << wildStrings
                                                    << QStringLiteral("p.so 的动态段没有可读的字符串表");
    }
    void elfProbe()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, report);
        const QString result = probeElfNeededBytes(bytes, QStringLiteral("p.so"), [](const QString &soname, QString *reason) {
            if (soname.contains(QLatin1String("missing"))) {
                *reason = QStringLiteral("not found");
                return false;
            }
            return true;
        });
        QCOMPARE(result, report);
    }

    void elfTruncatedAnywhereNeverFaults()
    {
        const QByteArray elf = craftElf({ "libxcb.so.1", "libX11-xcb.so.1" });
        for (int size = 0; size <= elf.size(); ++size) {
            QStringList needed;
            readElfNeeded(elf.left(size), QStringLiteral("t.so"), &needed);
        }
    }

    void realLoaderNamesTheMissingLibrary()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("libqxcb.so"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(craftElf({ "libc.so.6", "liblectern-nowhere.so.1" }));
        file.close();
        const QString report = probePlatformPlugin(path);
        QVERIFY2(report.startsWith(QStringLiteral("缺模块 liblectern-nowhere.so.1（dlopen 失败：")), qPrintable(report));
        QCOMPARE(probePlatformPlugin(QString()), QString());
    }

    void installedXcbPluginIsSound()
    {
        const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqxcb.so");
        if (!QFile::exists(plugin))
            QSKIP("the xcb platform plug-in is not installed here");
        QFile file(plugin);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList needed;
        QCOMPARE(readElfNeeded(file.readAll(), plugin, &needed), QString());
        QVERIFY2(needed.contains(QStringLiteral("libQt6XcbQpa.so.6")), qPrintable(needed.join(QLatin1Char(' '))));
        QCOMPARE(probePlatformPlugin(plugin), QString());
    }
};

QTEST_GUILESS_MAIN(TestStartupProbes)
#include "tst_startupprobes.moc"
