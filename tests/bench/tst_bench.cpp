#include "bench/bench.h"
#include "testutil.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

// The measuring switches print every figure they promise, on a real PDF.
class TestBench : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Runs fn with standard output captured into a file; returns its lines
    // as key=value pairs.
    template<typename Fn>
    QHash<QString, QString> capture(Fn fn, int *result)
    {
        const QString path = m_dir.filePath(QStringLiteral("stdout.txt"));
        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        if (!std::freopen(QFile::encodeName(path).constData(), "w", stdout))
            return {};
        *result = fn();
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        QHash<QString, QString> values;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return values;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0)
                values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
        return values;
    }

    static bool isNumber(const QString &text)
    {
        bool ok = false;
        text.toDouble(&ok);
        return ok;
    }

private slots:
    void renderBenchPrintsEveryFigure()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("五页 bench.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 5, QStringLiteral("测量")));
        int result = -1;
        const auto values = capture([&] { return runRenderBench(pdf); }, &result);
        QCOMPARE(result, 0);
        const QStringList keys {
            QStringLiteral("pages"), QStringLiteral("open_ms"), QStringLiteral("first_paint_ms"),
            QStringLiteral("page_paint_ms_median"), QStringLiteral("page_paint_ms_p95"),
            QStringLiteral("sync_renders"), QStringLiteral("tile_cache_peak_mb"),
            QStringLiteral("rss_peak_mb"), QStringLiteral("raw_first_render_ms"),
            QStringLiteral("overhead_ratio"), QStringLiteral("fling_slow_frame_pct"),
            QStringLiteral("fling_sync_renders"),
        };
        for (const QString &key : keys) {
            QVERIFY2(values.contains(key), qPrintable(key));
            QVERIFY2(isNumber(values.value(key)), qPrintable(key + QLatin1Char('=') + values.value(key)));
        }
        QCOMPARE(values.value(QStringLiteral("pages")).toInt(), 5);
        // Every page was painted; the first one at least on screen, the
        // rest may have been rendered ahead.
        QCOMPARE(values.value(QStringLiteral("pages_painted")).toInt(), 5);
        QVERIFY(values.value(QStringLiteral("sync_renders")).toInt() >= 1);
        QVERIFY(values.value(QStringLiteral("rss_peak_mb")).toDouble() > 0);
    }

    // Runs the program with arguments; its key=value lines, and its exit code.
    static QHash<QString, QString> runLectern(const QStringList &arguments, int *code)
    {
        QProcess process;
        // Its complaints belong in the test's log.
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(TestUtil::lecternBinary(), arguments);
        *code = -1;
        if (!process.waitForFinished(90000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        *code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        QHash<QString, QString> values;
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0)
                values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
        return values;
    }

    // The start from main() to the first page on screen, step by step, and
    // plain QtPdf's start in a child of the same program; a folder gives
    // medians over its PDFs and names those that failed.
    void openBenchBreaksTheStartDown()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("open.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        int code = -1;
        const auto values = runLectern({QStringLiteral("--bench-open"), pdf}, &code);
        QCOMPARE(code, 0);
        QCOMPARE(values.value(QStringLiteral("pages")).toInt(), 2);
        for (const char *key : {"application_ms", "theme_ms", "window_ms", "pages_ms", "canvas_ms", "pdf_load_ms",
                                "first_frame_ms", "raw_application_ms", "raw_load_ms", "raw_page_ms"})
            QVERIFY2(values.value(QString::fromLatin1(key)).toDouble() >= 0 && isNumber(values.value(QString::fromLatin1(key))),
                     key);
        const double total = values.value(QStringLiteral("main_to_first_paint_ms")).toDouble();
        const double raw = values.value(QStringLiteral("raw_main_to_page_ms")).toDouble();
        QVERIFY(total > 0 && raw > 0);
        QVERIFY(qAbs(values.value(QStringLiteral("ratio")).toDouble() - total / raw) < 0.01);

        QTemporaryDir folder;
        QVERIFY(QFile::copy(pdf, folder.filePath(QStringLiteral("a.pdf"))));
        QFile broken(folder.filePath(QStringLiteral("sub/broken.pdf")));
        QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("sub"))) && broken.open(QIODevice::WriteOnly));
        broken.write("not a pdf");
        broken.close();
        const auto median = runLectern({QStringLiteral("--bench-open"), folder.path()}, &code);
        QCOMPARE(code, 0);
        QCOMPARE(median.value(QStringLiteral("files")).toInt(), 1);
        QCOMPARE(median.value(QStringLiteral("files_failed")).toInt(), 1);
        QCOMPARE(median.value(QStringLiteral("failed_file")), QFileInfo(broken).canonicalFilePath());
        QVERIFY(median.value(QStringLiteral("ratio_median")).toDouble() > 0);
    }

    // A real second process hands the file to the running window.
    void forwardBenchTimesTheHandover()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("forward.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 3));
        int code = -1;
        const auto values = runLectern({QStringLiteral("--bench-forward"), pdf}, &code);
        QCOMPARE(code, 0);
        QCOMPARE(values.value(QStringLiteral("pages")).toInt(), 3);
        QVERIFY(values.value(QStringLiteral("request_to_first_paint_ms")).toDouble() > 0);
        QVERIFY(values.value(QStringLiteral("raw_load_and_page_ms")).toDouble() > 0);
        QVERIFY(values.value(QStringLiteral("forward_ratio")).toDouble() > 0);
    }

    void benchesRefuseBrokenFiles()
    {
        const QString bad = m_dir.filePath(QStringLiteral("bad.pdf"));
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a pdf");
        file.close();
        int result = -1;
        capture([&] { return runRenderBench(bad); }, &result);
        QCOMPARE(result, 1);
        runLectern({QStringLiteral("--bench-open"), m_dir.filePath(QStringLiteral("missing.pdf"))}, &result);
        QCOMPARE(result, 1);
    }
};

QTEST_MAIN(TestBench)
#include "tst_bench.moc"
