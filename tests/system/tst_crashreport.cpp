#include "system/crashreport.h"
#include "platform/crashtext.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <limits>

// The operation ring and report text in process, and real crashes of the
// built program in a child process.
namespace {

QString reportText()
{
    static char storage[32 * 1024];
    CrashBuffer buffer{ storage, sizeof(storage), 0 };
    CrashInfo info;
    info.code = 0xB;
    formatCrashReport(buffer, info);
    return QString::fromUtf8(storage, qsizetype(buffer.size));
}

QStringList operationLines(const QString &report)
{
    const QString marker = QStringLiteral("\nlast operations (newest first)\n");
    const int at = report.indexOf(marker);
    if (at < 0)
        return {};
    return report.mid(at + marker.size()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// "  <ms> ms  <tag>  <text>" split into tag and text.
QPair<QString, QString> tagAndText(const QString &line)
{
    static const QRegularExpression re(QStringLiteral("^  \\d+ ms  ([^ ]*)  (.*)$"));
    const QRegularExpressionMatch m = re.match(line);
    return m.hasMatch() ? qMakePair(m.captured(1), m.captured(2)) : qMakePair(QString(), QString());
}

QString appended(const std::function<void(CrashBuffer &)> &write)
{
    char storage[64];
    CrashBuffer buffer{ storage, sizeof(storage), 0 };
    write(buffer);
    return QString::fromLatin1(storage, qsizetype(buffer.size));
}

} // namespace

class TestCrashReport : public QObject
{
    Q_OBJECT
private slots:
    void folderIsEmptyBeforeInstallation() { QCOMPARE(crashFolder(), QString()); }

    void ringKeepsLast24NewestFirst()
    {
        for (int i = 0; i < 30; ++i)
            recordOperation("open", QStringLiteral("操作 %1").arg(i));
        const QStringList lines = operationLines(reportText());
        QCOMPARE(lines.size(), 24);
        for (int n = 0; n < 24; ++n)
            QCOMPARE(tagAndText(lines.at(n)), qMakePair(QStringLiteral("open"), QStringLiteral("操作 %1").arg(29 - n)));
    }

    void ringIsSafeFromManyThreads()
    {
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back(QThread::create([t] {
                for (int i = 0; i < 2000; ++i)
                    recordOperation("zoom", QStringLiteral("thread %1 step %2").arg(t).arg(i));
            }));
            threads.back()->start();
        }
        for (auto &thread : threads)
            QVERIFY(thread->wait());
        // Every record was published; two writers lapping each other on one
        // slot may mix its text (accepted by design), never its tag or count.
        const QStringList lines = operationLines(reportText());
        QCOMPARE(lines.size(), 24);
        for (const QString &line : lines) {
            QCOMPARE(tagAndText(line).first, QStringLiteral("zoom"));
            QVERIFY2(tagAndText(line).second.startsWith(QStringLiteral("thread ")), qPrintable(line));
        }
    }

    void truncation_data()
    {
        QTest::addColumn<QByteArray>("tag");
        QTest::addColumn<bool>("nullTag");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expectedTag");
        QTest::addColumn<QString>("expectedText");
        const QByteArray thirty("abcdefghijklmnopqrstuvwxyz0123");
        QTest::newRow("30-character tag cut to 23") << thirty << false << "t" << QString::fromLatin1(thirty.left(23)) << "t";
        QTest::newRow("null tag is empty") << QByteArray() << true << "t" << QString() << "t";
        QTest::newRow("300 bytes cut to 199") << QByteArray("open") << false << QString(300, QLatin1Char('a'))
                                              << "open" << QString(199, QLatin1Char('a'));
        // 3-byte characters: 199 would split the 67th, so 66 remain (198 bytes).
        QTest::newRow("never half a character") << QByteArray("open") << false << QString(100, QChar(0x6587))
                                                << "open" << QString(66, QChar(0x6587));
        QTest::newRow("short text unchanged") << QByteArray("save") << false << QStringLiteral("保存 ok")
                                              << "save" << QStringLiteral("保存 ok");
    }

    void truncation()
    {
        QFETCH(QByteArray, tag);
        QFETCH(bool, nullTag);
        QFETCH(QString, text);
        QFETCH(QString, expectedTag);
        QFETCH(QString, expectedText);
        recordOperation(nullTag ? nullptr : tag.constData(), text);
        const QStringList lines = operationLines(reportText());
        QVERIFY(!lines.isEmpty());
        QCOMPARE(tagAndText(lines.first()), qMakePair(expectedTag, expectedText));
    }

    void reportFields()
    {
        static char storage[32 * 1024];
        CrashBuffer buffer{ storage, sizeof(storage), 0 };
        CrashInfo info;
        info.code = 0xE0000002;
        info.address = 0x7f12ab;
        const char module[] = "liblectern.so";
        info.module = module;
        info.moduleLength = sizeof(module) - 1;
        info.moduleOffset = 0x1a2b;
        info.hasException = true;
        info.flags = 0x1;
        info.parameters = 1;
        formatCrashReport(buffer, info);
        const QString text = QString::fromUtf8(storage, qsizetype(buffer.size));
        QVERIFY2(text.startsWith(QStringLiteral("Lectern crash report\n"
                                                "exception code  0xE0000002\n"
                                                "fault address   0x7F12AB\n"
                                                "module          liblectern.so+0x1A2B\n"
                                                "flags           0x1\n"
                                                "parameters      0x1\n"
                                                "\nlast operations (newest first)\n")),
                 qPrintable(text));
    }

    void reportNeverOverrunsItsBuffer()
    {
        char storage[40];
        storage[32] = '#';
        CrashBuffer buffer{ storage, 32, 0 };
        formatCrashReport(buffer, CrashInfo());
        QCOMPARE(buffer.size, size_t(32));
        QCOMPARE(storage[32], '#');
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hex zero") << appended([](CrashBuffer &b) { crashAppendHex(b, 0); }) << "0x0";
        QTest::newRow("hex code") << appended([](CrashBuffer &b) { crashAppendHex(b, 0xE0000001); }) << "0xE0000001";
        QTest::newRow("hex max") << appended([](CrashBuffer &b) { crashAppendHex(b, ~quint64(0)); })
                                 << "0xFFFFFFFFFFFFFFFF";
        QTest::newRow("decimal zero") << appended([](CrashBuffer &b) { crashAppendDecimal(b, 0); }) << "0";
        QTest::newRow("decimal time") << appended([](CrashBuffer &b) { crashAppendDecimal(b, 1733616000123); })
                                      << "1733616000123";
        QTest::newRow("decimal min") << appended([](CrashBuffer &b) {
            crashAppendDecimal(b, std::numeric_limits<qint64>::min());
        }) << "-9223372036854775808";
    }

    void numbers()
    {
        QFETCH(QString, written);
        QFETCH(QString, expected);
        QCOMPARE(written, expected);
    }

    void moduleFromMaps_data()
    {
        QTest::addColumn<quint64>("address");
        QTest::addColumn<QString>("module");
        QTest::addColumn<quint64>("offset");
        QTest::newRow("in the program") << quint64(0x55d0a0001234) << "lectern" << quint64(0x2234);
        QTest::newRow("in a library with a space") << quint64(0x7f0000000010) << "libQt6 Core.so.6" << quint64(0x10);
        QTest::newRow("on the stack") << quint64(0x7ffc00000100) << "" << quint64(0);
        QTest::newRow("anonymous memory") << quint64(0x7f1000000000) << "" << quint64(0);
        QTest::newRow("unmapped") << quint64(0x10) << "" << quint64(0);
        QTest::newRow("last line without line feed") << quint64(0xffffffffff600000) << "" << quint64(0);
    }

    void moduleFromMaps()
    {
        QFETCH(quint64, address);
        QFETCH(QString, module);
        QFETCH(quint64, offset);
        const QByteArray maps(
            "55d0a0000000-55d0a0010000 r-xp 00001000 08:01 1234                       /opt/lectern/bin/lectern\n"
            "7f0000000000-7f0000100000 r-xp 00000000 08:01 99   /usr/lib/x86_64-linux-gnu/libQt6 Core.so.6\n"
            "7f1000000000-7f1000010000 rw-p 00000000 00:00 0 \n"
            "7ffc00000000-7ffc00100000 rw-p 00000000 00:00 0                          [stack]\n"
            "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0                  [vsyscall]");
        CrashInfo info;
        const bool found = findCrashModule(maps.constData(), size_t(maps.size()), quintptr(address), info);
        QCOMPARE(found, !module.isEmpty());
        if (found) {
            QCOMPARE(QString::fromUtf8(info.module, qsizetype(info.moduleLength)), module);
            QCOMPARE(info.moduleOffset, offset);
        }
    }

    void stackMappingForTheDump_data()
    {
        QTest::addColumn<quint64>("address");
        QTest::addColumn<bool>("found");
        QTest::addColumn<quint64>("start");
        QTest::newRow("inside the stack") << quint64(0x7ffc00000100) << true << quint64(0x7ffc00000000);
        QTest::newRow("overflowed into the guard gap") << quint64(0x7ffbffff0000) << true << quint64(0x7ffc00000000);
        QTest::newRow("far below anything") << quint64(0x7ff000000000) << false << quint64(0);
        QTest::newRow("unreadable mapping") << quint64(0x7f2000000010) << false << quint64(0);
    }

    void stackMappingForTheDump()
    {
        QFETCH(quint64, address);
        QFETCH(bool, found);
        QFETCH(quint64, start);
        const QByteArray maps("7f2000000000-7f2000001000 ---p 00000000 00:00 0\n"
                              "7ffc00000000-7ffc00100000 rw-p 00000000 00:00 0                          [stack]\n");
        quint64 first = 0, last = 0;
        QCOMPARE(findReadableMapping(maps.constData(), size_t(maps.size()), quintptr(address), 1024 * 1024, first, last),
                 found);
        if (found) {
            QCOMPARE(first, start);
            QCOMPARE(last, quint64(0x7ffc00100000));
        }
    }

    void childCrashWritesBothFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("killedBySignal");
        QTest::addColumn<QString>("faultLines");
        const QString none = QStringLiteral("fault address   0x0\n\n");
        const QString signalOnly = QStringLiteral("fault address   0x0\nflags           0x");
        QTest::newRow("stack overflow") << "stack" << "0xB" << true << "fault address   0x[1-9A-F]";
        QTest::newRow("segmentation fault") << "segv" << "0xB" << true << signalOnly + "1\nparameters      0x1\n";
        QTest::newRow("write to read-only data") << "readonly" << "0xB" << true
                                                 << "fault address   0x[0-9A-F]+\nmodule          lectern\\+0x[0-9A-F]+\n";
        QTest::newRow("abort") << "abort" << "0x6" << true << signalOnly + "[0-9A-F]+\nparameters      0x0\n";
        QTest::newRow("uncaught exception") << "terminate" << "0xE0000001" << false << none;
        QTest::newRow("qFatal") << "qfatal" << "0xE0000002" << true << none;
    }

    void childCrashWritesBothFiles()
    {
#ifdef LECTERN_SANITIZED
        QSKIP("AddressSanitizer catches the fault signals before the crash handler can write its report");
#endif
        QFETCH(QString, kind);
        QFETCH(QString, code);
        QFETCH(bool, killedBySignal);
        QFETCH(QString, faultLines);
        QTemporaryDir data;
        QVERIFY(data.isValid());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(data.path());
        child.setChildProcessModifier([] {
            const rlimit noCore{ 0, 0 };
            setrlimit(RLIMIT_CORE, &noCore);
        });
        child.start(TestUtil::lecternBinary(), { QStringLiteral("--selftest-crash"), kind });
        QVERIFY(child.waitForStarted());
        const qint64 pid = child.processId();
        QVERIFY(child.waitForFinished(120000));
        // The crash handlers pass every Qt message on: the fatal text still reaches stderr.
        if (kind == QLatin1String("qfatal"))
            QVERIFY(child.readAllStandardError().contains("crash self-test"));
        if (killedBySignal) {
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        } else {
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 3);
        }

        const QString folder = data.path() + QStringLiteral("/Lectern/logs");
        const QStringList logs = QDir(folder).entryList({ QStringLiteral("crash-*.log") }, QDir::Files);
        const QStringList dumps = QDir(folder).entryList({ QStringLiteral("crash-*.dmp") }, QDir::Files);
        QCOMPARE(logs.size(), 1);
        QCOMPARE(dumps.size(), 1);
        const QRegularExpression name(QStringLiteral("^crash-(\\d+)-(\\d+)\\.log$"));
        const QRegularExpressionMatch m = name.match(logs.first());
        QVERIFY(m.hasMatch());
        QCOMPARE(m.captured(1).toLongLong(), pid);
        QCOMPARE(dumps.first(), logs.first().chopped(4) + QStringLiteral(".dmp"));

        QFile log(folder + QLatin1Char('/') + logs.first());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString report = QString::fromUtf8(log.readAll());
        const QStringList lines = report.split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("Lectern crash report"));
        QCOMPARE(lines.value(1), QStringLiteral("exception code  ") + code);
        QVERIFY2(QRegularExpression(QLatin1Char('\n') + faultLines).match(report).hasMatch(), qPrintable(report));
        const QStringList operations = operationLines(report);
        // The start-up sequence records its own step between installing the
        // handler and running the self-test.
        QCOMPARE(operations.size(), 3);
        QCOMPARE(tagAndText(operations.at(0)), qMakePair(QStringLiteral("selftest"), QStringLiteral("崩溃自检：") + kind));
        QCOMPARE(tagAndText(operations.at(1)), qMakePair(QStringLiteral("startup"), QStringLiteral(LECTERN_VERSION)));
        QCOMPARE(tagAndText(operations.at(2)),
                 qMakePair(QStringLiteral("crashlog"), QStringLiteral("崩溃记录已启用：") + folder));

        QFile dump(folder + QLatin1Char('/') + dumps.first());
        QVERIFY(dump.open(QIODevice::ReadOnly));
        const QByteArray dumpBytes = dump.readAll();
        QVERIFY(dumpBytes.startsWith("Lectern crash dump 1\ncode " + code.toLatin1() + '\n'));
        QVERIFY(dumpBytes.contains("\nmaps\n"));
        QVERIFY(dumpBytes.contains(QFile::encodeName(QFileInfo(TestUtil::lecternBinary()).fileName())));
        // Signals carry the machine context: registers and the top of the stack.
        const bool fromSignal = code == QLatin1String("0xB") || code == QLatin1String("0x6");
        QCOMPARE(dumpBytes.contains("\nregisters "), fromSignal);
        QCOMPARE(dumpBytes.contains("\nstack "), fromSignal);
    }
};

QTEST_GUILESS_MAIN(TestCrashReport)
#include "tst_crashreport.moc"
