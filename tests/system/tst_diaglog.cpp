#include "system/diaglog.h"
#include "system/settings.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <vector>

// The diagnostic log in one process: the switches run in order, as a
// teacher's session would, so each case states what it expects at its start.
namespace {

Q_LOGGING_CATEGORY(lcLessons, "lessons")

// Stands before the log's handler so the test can see what is passed on.
QtMessageHandler &testlibHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

std::atomic<int> &passedOn()
{
    static std::atomic<int> count{ 0 };
    return count;
}

void recordingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    ++passedOn();
    if (testlibHandler())
        testlibHandler()(type, context, message);
}

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QRegularExpression lineFor(const QString &level, const QString &category, const QString &message)
{
    return QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[%1\\] %2: %3$")
                                  .arg(level, QRegularExpression::escape(category),
                                       QRegularExpression::escape(message)));
}

int countMatching(const QStringList &lines, const QRegularExpression &re)
{
    int n = 0;
    for (const QString &line : lines)
        n += re.match(line).hasMatch() ? 1 : 0;
    return n;
}

bool writeFileOfSize(const QString &path, qint64 size, char fill)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(QByteArray(size, fill)) == size;
}

} // namespace

class TestDiagLog : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Lectern"));
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Lectern"),
                  QStringLiteral("Lectern")).clear();
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)).removeRecursively();
        qunsetenv("LECTERN_LOG");
        testlibHandler() = qInstallMessageHandler(recordingHandler);
        QVERIFY(m_dir.isValid());
    }

    void offWithoutVariableOrSetting()
    {
        initLog();
        QVERIFY(!isLogEnabled());
        logInfo(QStringLiteral("open"), QStringLiteral("not written"));
        const QString expected = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
            + QStringLiteral("/logs/lectern.log");
        QCOMPARE(logFilePath(), expected);
        QVERIFY(!QFile::exists(expected));
    }

    void variableOnSwitchOffBeatsIt()
    {
        const QString path = m_dir.filePath(QStringLiteral("变量/lectern.log"));
        qputenv("LECTERN_LOG", QFile::encodeName(path));
        initLog();
        QVERIFY(isLogEnabled());
        QCOMPARE(logPathFromEnvironment(), path);
        QCOMPARE(logFilePath(), path);
        QCOMPARE(logFolder(), m_dir.filePath(QStringLiteral("变量")));
        logInfo(QStringLiteral("open"), QStringLiteral("第一行"));
        QCOMPARE(countMatching(fileLines(path), lineFor("info", "open", QStringLiteral("第一行"))), 1);

        QString error = QStringLiteral("stale");
        QVERIFY(setDebugLogEnabled(false, &error));
        QVERIFY(error.isEmpty());
        QVERIFY(!isLogEnabled());
        logInfo(QStringLiteral("open"), QStringLiteral("while off"));
        logLine("error", QStringLiteral("save"), QStringLiteral("while off"));
        QCOMPARE(fileLines(path).size(), 1);

        QVERIFY(setDebugLogEnabled(true, &error));
        QVERIFY(isLogEnabled());
        logLine("error", QStringLiteral("save"), QStringLiteral("again"));
        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lineFor("info", "log", QStringLiteral("诊断日志已开启（%1）").arg(path)).match(lines.at(1)).hasMatch());
        QVERIFY(lineFor("error", "save", QStringLiteral("again")).match(lines.at(2)).hasMatch());
        QVERIFY(debugLogSetting());
    }

    void settingAloneTurnsItOn()
    {
        qunsetenv("LECTERN_LOG");
        QVERIFY(setDebugLogSetting(true, nullptr));
        initLog();
        QVERIFY(isLogEnabled());
        const QString expected = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
            + QStringLiteral("/logs/lectern.log");
        QCOMPARE(logFilePath(), expected);
        logInfo(QStringLiteral("cache"), QStringLiteral("from the setting"));
        QCOMPARE(countMatching(fileLines(expected), lineFor("info", "cache", "from the setting")), 1);
        QVERIFY(setDebugLogEnabled(false, nullptr));
        QVERIFY(!isLogEnabled());
    }

    void rotationOnOpen_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("rotated");
        QTest::newRow("2 MiB + 1 byte moves to .1") << qint64(2 * 1024 * 1024 + 1) << true;
        QTest::newRow("exactly 2 MiB stays") << qint64(2 * 1024 * 1024) << false;
    }

    void rotationOnOpen()
    {
        QFETCH(qint64, size);
        QFETCH(bool, rotated);
        const QString path = m_dir.filePath(QStringLiteral("rotate-%1.log").arg(size));
        QVERIFY(writeFileOfSize(path, size, 'n'));
        QVERIFY(writeFileOfSize(path + QStringLiteral(".1"), 10, 'o'));
        qputenv("LECTERN_LOG", QFile::encodeName(path));
        QVERIFY(setDebugLogEnabled(true, nullptr));
        QVERIFY(isLogEnabled());
        if (rotated) {
            QCOMPARE(QFileInfo(path + QStringLiteral(".1")).size(), size);
            QCOMPARE(fileLines(path).size(), 1); // only the switch-on line
        } else {
            QCOMPARE(QFileInfo(path + QStringLiteral(".1")).size(), qint64(10));
            QVERIFY(QFileInfo(path).size() > size);
        }
        QVERIFY(setDebugLogEnabled(false, nullptr));
    }

    void qtMessagesAreLoggedAndPassedOn_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("category");
        QTest::newRow("warning without category") << 0 << "warn" << "qt";
        QTest::newRow("critical without category") << 1 << "error" << "qt";
        QTest::newRow("warning with category") << 2 << "warn" << "lessons";
        QTest::newRow("info with category") << 3 << "info" << "lessons";
    }

    void qtMessagesAreLoggedAndPassedOn()
    {
        QFETCH(int, kind);
        QFETCH(QString, level);
        QFETCH(QString, category);
        const QString path = m_dir.filePath(QStringLiteral("qt.log"));
        qputenv("LECTERN_LOG", QFile::encodeName(path));
        QVERIFY(setDebugLogEnabled(true, nullptr));
        const QString text = QStringLiteral("message %1").arg(kind);
        const int before = passedOn();
        switch (kind) {
        case 0:
            qWarning("message %d", kind);
            break;
        case 1:
            qCritical("message %d", kind);
            break;
        case 2:
            qCWarning(lcLessons, "message %d", kind);
            break;
        default:
            qCInfo(lcLessons, "message %d", kind);
            break;
        }
        QCOMPARE(passedOn(), before + 1);
        QVERIFY(lineFor(level, category, text).match(fileLines(path).constLast()).hasMatch());
    }

    void linesFromManyThreads()
    {
        constexpr int kThreads = 8;
        constexpr int kLinesEach = 400;
        const QString path = m_dir.filePath(QStringLiteral("threads.log"));
        qputenv("LECTERN_LOG", QFile::encodeName(path));
        QVERIFY(setDebugLogEnabled(true, nullptr));
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(QThread::create([t] {
                for (int i = 0; i < kLinesEach; ++i)
                    logInfo(QStringLiteral("render"), QStringLiteral("thread %1 line %2 %3").arg(t).arg(i).arg(QString(40, QLatin1Char('x'))));
            }));
            threads.back()->start();
        }
        for (auto &thread : threads)
            QVERIFY(thread->wait());
        const QRegularExpression re(QStringLiteral(
            "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[info\\] render: thread (\\d+) line (\\d+) x{40}$"));
        QSet<QString> seen;
        int matched = 0;
        for (const QString &line : fileLines(path)) {
            const QRegularExpressionMatch m = re.match(line);
            if (!m.hasMatch())
                continue;
            ++matched;
            seen.insert(m.captured(1) + QLatin1Char('/') + m.captured(2));
        }
        QCOMPARE(matched, kThreads * kLinesEach);
        QCOMPARE(seen.size(), kThreads * kLinesEach);
        // Nothing but whole lines: the switch-on line plus every thread's lines.
        QCOMPARE(fileLines(path).size(), kThreads * kLinesEach + 1);
    }

    void unusablePathSwitchesOffAndSaysWhy()
    {
        const QString blocker = m_dir.filePath(QStringLiteral("plain-file"));
        QVERIFY(writeFileOfSize(blocker, 1, 'b'));
        qputenv("LECTERN_LOG", QFile::encodeName(blocker + QStringLiteral("/sub/lectern.log")));
        const int before = passedOn();
        QString error;
        QVERIFY(!setDebugLogEnabled(true, &error));
        QCOMPARE(error, QStringLiteral("无法打开诊断日志文件：%1/sub/lectern.log").arg(blocker));
        QVERIFY(!isLogEnabled());
        QVERIFY(!debugLogSetting());
        logInfo(QStringLiteral("open"), QStringLiteral("nowhere to go"));
        QCOMPARE(passedOn(), before);
        QVERIFY(!QFileInfo(blocker).isDir());
    }

    void storeFailureKeepsTheLogAsItWas()
    {
        const QString path = m_dir.filePath(QStringLiteral("kept.log"));
        qputenv("LECTERN_LOG", QFile::encodeName(path));
        QVERIFY(setDebugLogEnabled(true, nullptr));
        const QString blocker = m_dir.filePath(QStringLiteral("config-blocker"));
        QVERIFY(writeFileOfSize(blocker, 1, 'b'));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker + QStringLiteral("/config"));
        QString error;
        QVERIFY(!setDebugLogEnabled(false, &error));
        QCOMPARE(error, QStringLiteral("无法写入设置文件（调试日志设置）"));
        QVERIFY(isLogEnabled());
        logInfo(QStringLiteral("save"), QStringLiteral("still on"));
        QCOMPARE(countMatching(fileLines(path), lineFor("info", "save", "still on")), 1);
    }
};

QTEST_GUILESS_MAIN(TestDiagLog)
#include "tst_diaglog.moc"
