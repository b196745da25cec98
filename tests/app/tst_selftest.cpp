#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The installed program as a technician meets it: --version and a mistyped
// switch answer without a display, and the self-tests check the real
// program and say FAIL when something is really wrong.
namespace {

constexpr int kSelfTestWaitMs = 110000;

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run runLectern(const QStringList &args, const QProcessEnvironment &env, int waitMs = 60000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(TestUtil::lecternBinary(), args);
    Run run;
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// No display at all: neither a platform chosen nor an X or Wayland server.
QProcessEnvironment headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
        env.remove(QString::fromLatin1(name));
    return env;
}

} // namespace

class TestSelfTest : public QObject
{
    Q_OBJECT
private slots:
    void commandLineAnswersWithoutADisplay()
    {
        const Run version = runLectern({ QStringLiteral("--version") }, headless());
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, QStringLiteral("lectern %1\n").arg(QStringLiteral(LECTERN_VERSION)));

        const Run unknown = runLectern({ QStringLiteral("--frobnicate"), QStringLiteral("a.pdf") }, headless());
        QCOMPARE(unknown.code, 64);
        QVERIFY2(unknown.err.contains(QStringLiteral("未知选项 --frobnicate")), qPrintable(unknown.err));
        QVERIFY(unknown.out.isEmpty());

        const Run help = runLectern({ QStringLiteral("--help") }, headless());
        QCOMPARE(help.code, 0);
        for (const QString &name : { QStringLiteral("--selftest"), QStringLiteral("--selftest-home"),
                                     QStringLiteral("--version"), QStringLiteral("--bench-workingcopy") })
            QVERIFY2(help.out.contains(QStringLiteral("\n  ") + name + QLatin1Char(' ')), qPrintable(name));

        // A script's export over ssh needs no display either.
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("课.pdf"));
        const QString out = dir.filePath(QStringLiteral("出.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        const Run exported = runLectern({ QStringLiteral("--export-pdf=") + pdf, out }, headless());
        QCOMPARE(exported.code, 0);
        QCOMPARE(exported.out.trimmed(), out);
        QVERIFY(QFileInfo(out).size() > 0);
    }

    // Every self-test that needs no argument, on the offscreen display.
    void everySelfTestPasses()
    {
        const Run run = runLectern({ QStringLiteral("--selftest") }, QProcessEnvironment::systemEnvironment(),
                                   kSelfTestWaitMs);
        QVERIFY2(run.code == 0, qPrintable(run.out.right(3000) + run.err.right(2000)));
        QVERIFY2(!run.out.contains(QStringLiteral("FAIL")), qPrintable(run.out));
        for (const char *area : { "ink", "tileclip", "popup", "scroll", "log", "ui", "dialog", "home" }) {
            const QRegularExpression pass(QStringLiteral("^PASS %1: ").arg(QLatin1String(area)),
                                          QRegularExpression::MultilineOption);
            QVERIFY2(run.out.count(pass) >= 3, area);
        }
        QVERIFY2(run.out.contains(QStringLiteral("自检汇总：11 项全部通过")), qPrintable(run.out.right(500)));
    }

    // The log folder cannot be made (a file stands where it belongs): FAIL and 1.
    void brokenLogFolderFails()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("file"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), blocker + QStringLiteral("/data"));
        const Run run = runLectern({ QStringLiteral("--selftest-log") }, env);
        QCOMPARE(run.code, 1);
        QVERIFY2(run.out.contains(QStringLiteral("PASS log: 超过上限后轮换")), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("FAIL log: 日志文件夹可写")), qPrintable(run.out));
    }
};

QTEST_MAIN(TestSelfTest)
#include "tst_selftest.moc"
