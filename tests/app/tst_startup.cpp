#include "app/singleinstance.h"
#include "app/startup.h"
#include "app/startuplog.h"
#include "system/diaglog.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <algorithm>
#include <thread>
#include <vector>

// Start-up of the real program: the start-up log, its message lines, the
// run-time list and plug-in report, the "app" lines and the first file.
namespace {

constexpr int kProcessWaitMs = 60000;
const char kQuickExitSwitch[] = "--selftest-crash";
const char kQuickExitKind[] = "unknown-kind"; // returns 1 without crashing
// A self-test given a file that does not exist: one Qt warning, exit code 1.
const char kWarningSwitch[] = "--selftest-ink";

struct Run
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QByteArray err;
};

QProcessEnvironment childEnvironment(const QString &dataHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    return env;
}

Run runProgram(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    Run run;
    if (!process.waitForFinished(kProcessWaitMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    run.err = process.readAllStandardError();
    return run;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

const QRegularExpression &messageLine()
{
    static const QRegularExpression re(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] (debug|info|warn|fatal): .*$"),
                                       QRegularExpression::MultilineOption);
    return re;
}

using TestUtil::waitForServer;

// Skips the calling test when the diagnostic log cannot be observed.
bool diagnosticLogAvailable(const QString &logPath)
{
    qputenv("LECTERN_LOG", logPath.toLocal8Bit());
    initLog();
    return isLogEnabled();
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void logPath_data()
    {
        QTest::addColumn<QByteArray>("dataHome");
        QTest::addColumn<QString>("expected");
        const QString home = QDir::homePath() + QStringLiteral("/.local/share/Lectern/logs/startup.log");
        QTest::newRow("XDG_DATA_HOME") << QByteArray("/srv/数据") << QStringLiteral("/srv/数据/Lectern/logs/startup.log");
        QTest::newRow("unset") << QByteArray() << home;
        QTest::newRow("relative is ignored") << QByteArray("rel/data") << home;
    }
    void logPath()
    {
        QFETCH(QByteArray, dataHome);
        QFETCH(QString, expected);
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", saved); });
        if (dataHome.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", dataHome);
        QCOMPARE(startupLogPath(), expected);
    }

    void messageLines_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("line");
        QTest::newRow("debug") << int(QtDebugMsg) << QStringLiteral("[07:05:03.009] debug: 你好\n");
        QTest::newRow("info") << int(QtInfoMsg) << QStringLiteral("[07:05:03.009] info: 你好\n");
        QTest::newRow("warning") << int(QtWarningMsg) << QStringLiteral("[07:05:03.009] warn: 你好\n");
        QTest::newRow("critical") << int(QtCriticalMsg) << QStringLiteral("[07:05:03.009] fatal: 你好\n");
        QTest::newRow("fatal") << int(QtFatalMsg) << QStringLiteral("[07:05:03.009] fatal: 你好\n");
    }
    void messageLines()
    {
        QFETCH(int, type);
        QFETCH(QString, line);
        QCOMPARE(formatMessageLine(QtMsgType(type), QTime(7, 5, 3, 9), QStringLiteral("你好")), line);
    }

    void header()
    {
        QCOMPARE(startupLogHeader(QStringLiteral("Windows 10.0 build 19045")),
                 QStringLiteral("Lectern 启动诊断：Qt 消息 + 插件加载轨迹（每次启动重写；程序起不来时把这个文件发给我们）\n"
                                "系统：Windows 10.0 build 19045\n"));
    }

    void qtTranslation_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("installed");
        QTest::newRow("Chinese") << QStringLiteral("zh_CN") << true;
        QTest::newRow("no such translation") << QStringLiteral("ia") << false;
    }
    void qtTranslation()
    {
        QFETCH(QString, locale);
        QFETCH(bool, installed);
        const QString source = QStringLiteral("Cancel");
        QTranslator translator;
        QCOMPARE(installQtTranslation(&translator, QLocale(locale)), installed);
        const QString shown = QCoreApplication::translate("QPlatformTheme", "Cancel");
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(shown != source, installed);
    }

    // Every start rewrites the log; Qt's messages go to it, and only the
    // warnings and errors to stderr.
    void logIsReplacedAtEveryStart()
    {
        QTemporaryDir data;
        const QProcessEnvironment env = childEnvironment(data.path());
        const QString logPath = data.filePath(QStringLiteral("Lectern/logs/startup.log"));
        const QStringList args{ QLatin1String(kQuickExitSwitch), QLatin1String(kQuickExitKind) };
        const Run first = runProgram(TestUtil::lecternBinary(), args, env);
        QCOMPARE(first.status, QProcess::NormalExit);
        QCOMPARE(first.exitCode, 1);
        {
            QFile log(logPath);
            QVERIFY2(log.open(QIODevice::Append), qPrintable(logPath));
            log.write("MARKER FROM AN EARLIER START\n");
        }
        const Run second = runProgram(TestUtil::lecternBinary(), args, env);
        QCOMPARE(second.exitCode, 1);
        const QString text = readText(logPath);
        QVERIFY(!text.contains(QStringLiteral("MARKER")));
        QVERIFY(text.startsWith(startupLogHeader(QString()).section(QLatin1Char('\n'), 0, 0) + QStringLiteral("\n系统：Linux ")));
        QCOMPARE(text.count(QStringLiteral("Lectern 启动诊断")), 1);
        // Plug-in loading is traced (QT_DEBUG_PLUGINS) into the file only;
        // the terminal gets the warnings.
        QVERIFY2(text.contains(QStringLiteral("] debug: ")), qPrintable(text.left(2000)));
        QVERIFY(messageLine().match(text).hasMatch());
        const Run warned = runProgram(TestUtil::lecternBinary(), {QLatin1String(kWarningSwitch), QStringLiteral("x.pdf")}, env);
        QCOMPARE(warned.exitCode, 1);
        const QString err = QString::fromLocal8Bit(warned.err);
        const QRegularExpressionMatch warning =
            QRegularExpression(QStringLiteral("^\\[[^]]+\\] warn: --selftest-ink: 无法打开 x\\.pdf$"),
                               QRegularExpression::MultilineOption)
                .match(err);
        QVERIFY2(warning.hasMatch(), qPrintable(err));
        QVERIFY(readText(logPath).contains(warning.captured(0)));
        QVERIFY2(!err.contains(QStringLiteral("] debug: ")), qPrintable(err.left(2000)));
        QVERIFY(readText(logPath).contains(QStringLiteral("] debug: ")));
    }

    // A missing start-up log folder that cannot be created does not stop the program.
    void unwritableLogFolderIsSkipped()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("file"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const Run run = runProgram(TestUtil::lecternBinary(), {QLatin1String(kWarningSwitch), QStringLiteral("x.pdf")},
                                   childEnvironment(blocker));
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(messageLine().match(QString::fromLocal8Bit(run.err)).hasMatch());
    }

    // Files beside the program: runtime.txt is copied in, and a bundled
    // platform plug-in that needs a missing library is named.
    void bundledFilesAreReported()
    {
        QTemporaryDir bundle;
        QTemporaryDir data;
        const QString program = bundle.filePath(QStringLiteral("lectern"));
        QVERIFY(QFile::copy(TestUtil::lecternBinary(), program));
        QVERIFY(QFile::setPermissions(program, QFile::permissions(TestUtil::lecternBinary())));
        const QByteArray runtime = "Qt6Core.dll 6.4.2\nmsvcp140.dll 14.38\n运行库 ok\n";
        {
            QFile file(bundle.filePath(QStringLiteral("runtime.txt")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(runtime);
        }
        QVERIFY(QDir(bundle.path()).mkdir(QStringLiteral("platforms")));
        {
            // An ELF shared object whose only need is a library nobody has.
            QByteArray elf(64 + 56 * 2, '\0');
            auto put = [&elf](int at, quint64 v, int n) {
                for (int i = 0; i < n; ++i)
                    elf[at + i] = char((v >> (8 * i)) & 0xff);
            };
            elf.replace(0, 4, "\x7f" "ELF");
            elf[4] = 2;
            elf[5] = 1;
            put(32, 64, 8);
            put(54, 56, 2);
            put(56, 2, 2);
            const int strOff = elf.size();
            elf.append(QByteArray("\0liblectern-nowhere.so.1\0", 26));
            const int dynOff = elf.size();
            elf.append(QByteArray(48, '\0'));
            put(dynOff, 1, 8);
            put(dynOff + 8, 1, 8);
            put(dynOff + 16, 5, 8);
            put(dynOff + 24, quint64(strOff), 8);
            put(64, 1, 4);
            put(64 + 32, quint64(elf.size()), 8);
            put(120, 2, 4);
            put(120 + 8, quint64(dynOff), 8);
            put(120 + 16, quint64(dynOff), 8);
            put(120 + 32, 48, 8);
            QFile plugin(bundle.filePath(QStringLiteral("platforms/libqxcb.so")));
            QVERIFY(plugin.open(QIODevice::WriteOnly));
            plugin.write(elf);
        }
        const Run run = runProgram(program, { QLatin1String(kQuickExitSwitch), QLatin1String(kQuickExitKind) },
                                   childEnvironment(data.path()));
        QCOMPARE(run.exitCode, 1);
        const QString text = readText(data.filePath(QStringLiteral("Lectern/logs/startup.log")));
        QVERIFY2(text.contains(QStringLiteral("缺的到底是什么：缺模块 liblectern-nowhere.so.1（dlopen 失败：")),
                 qPrintable(text.left(1000)));
        const QString block = QStringLiteral("随包运行库：\n") + QString::fromUtf8(runtime);
        const int at = text.indexOf(block);
        QVERIFY2(at > 0, qPrintable(text));
        // Messages after the list follow it instead of overwriting it.
        QVERIFY(messageLine().match(text.mid(at + block.size())).hasMatch());
    }

    void appLinesAreLogged()
    {
        QTemporaryDir data;
        const QString logPath = data.filePath(QStringLiteral("diag.log"));
        if (!diagnosticLogAvailable(logPath))
            QSKIP("the diagnostic log is not built in this tree yet, so the \"app\" lines cannot be read back");
        QProcessEnvironment env = childEnvironment(data.path());
        env.insert(QStringLiteral("LECTERN_LOG"), logPath);
        const Run run = runProgram(TestUtil::lecternBinary(),
                                   { QLatin1String(kQuickExitSwitch), QLatin1String(kQuickExitKind) }, env);
        QCOMPARE(run.exitCode, 1);
        const QString text = readText(logPath);
        QVERIFY2(QRegularExpression(QStringLiteral("外观：设置 0 → 解析 1（系统 1）pal=\\d+ desk=236,237,247"))
                     .match(text).hasMatch(),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("启动：Qt %1 | 程序 %2 | 参数 [%3 %4]")
                                  .arg(QLatin1String(qVersion()), QFileInfo(TestUtil::lecternBinary()).canonicalFilePath(),
                                       QLatin1String(kQuickExitSwitch), QLatin1String(kQuickExitKind))));
        QVERIFY(QRegularExpression(QStringLiteral("屏幕：\\d+×\\d+ @DPR [0-9.]+")).match(text).hasMatch());
    }

    // Qt messages come from any thread; each must land as one whole line.
    void messagesFromManyThreadsStayWhole()
    {
        QTemporaryDir data;
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        const QtMessageHandler testHandler = qInstallMessageHandler(nullptr);
        auto restore = qScopeGuard([&] {
            qInstallMessageHandler(testHandler);
            qputenv("XDG_DATA_HOME", saved);
        });
        QVERIFY(writeStartupLog());
        QCOMPARE(startupLogPath(), data.filePath(QStringLiteral("Lectern/logs/startup.log")));
        constexpr int kThreads = 8;
        constexpr int kLines = 250;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < kLines; ++i)
                    qInfo("thread %d line %d 线程消息", t, i);
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        qInstallMessageHandler(testHandler);
        const QStringList lines = readText(startupLogPath()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QRegularExpression whole(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] info: thread \\d line \\d+ 线程消息$"));
        int count = 0;
        for (const QString &line : lines) {
            if (line.contains(QStringLiteral("线程消息"))) {
                QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
                ++count;
            }
        }
        QCOMPARE(count, kThreads * kLines);
    }

    // "--bench" without its file is ignored: the program starts as usual,
    // becomes the running instance and opens only the first file.
    void benchAsLastArgumentStartsNormally()
    {
        QTemporaryDir data;
        const QString a = data.filePath(QStringLiteral("第一 a.pdf"));
        const QString b = data.filePath(QStringLiteral("第二 b.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(a, 1));
        QVERIFY(TestUtil::writeA4Pdf(b, 1));
        const QString logPath = data.filePath(QStringLiteral("diag.log"));
        QProcessEnvironment env = childEnvironment(data.path());
        env.insert(QStringLiteral("LECTERN_LOG"), logPath);
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(TestUtil::lecternBinary(), { a, b, QStringLiteral("--bench") });
        QVERIFY(program.waitForStarted());
        auto stop = qScopeGuard([&] {
            program.kill();
            program.waitForFinished();
        });
        QVERIFY2(waitForServer(singleInstanceServerName(), &program), "the program did not start as the running instance");

        if (!diagnosticLogAvailable(logPath))
            QSKIP("the diagnostic log is not built in this tree yet, so which file opened cannot be read back");
        // The first file opens after the server listens: wait for its line.
        const auto openLines = [&logPath] {
            QStringList lines = readText(logPath).split(QLatin1Char('\n'));
            lines.erase(std::remove_if(lines.begin(), lines.end(),
                                       [](const QString &line) { return line.contains(QStringLiteral("启动：")); }),
                        lines.end());
            return lines.join(QLatin1Char('\n'));
        };
        QTRY_VERIFY_WITH_TIMEOUT(openLines().contains(QFileInfo(a).completeBaseName()), 20000);
        const QString text = openLines();
        QVERIFY2(!text.contains(QFileInfo(b).completeBaseName()), qPrintable(text));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
