#include "bench/bench.h"
#include "testutil.h"

#include <QFile>
#include <QHash>
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

    void openBenchPrintsStartToFirstPaint()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("open.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        int result = -1;
        const auto values = capture([&] { return runOpenBench(pdf); }, &result);
        QCOMPARE(result, 0);
        QVERIFY(isNumber(values.value(QStringLiteral("start_to_first_paint_ms"))));
        QVERIFY(values.value(QStringLiteral("process_start_ms")).toLongLong() >= 0);
        QCOMPARE(values.value(QStringLiteral("pages")).toInt(), 2);
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
        capture([&] { return runOpenBench(m_dir.filePath(QStringLiteral("missing.pdf"))); }, &result);
        QCOMPARE(result, 1);
    }
};

QTEST_MAIN(TestBench)
#include "tst_bench.moc"
