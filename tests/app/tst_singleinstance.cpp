#include "app/singleinstance.h"
#include "system/diaglog.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>
#include <unistd.h>

// One running window per user: the wire format, the server inside this
// process, and two real processes of the built program.
namespace {

constexpr int kProcessWaitMs = 60000;

QString uniqueServerName(const char *what)
{
    return QStringLiteral("Lectern.Test.%1.%2").arg(QLatin1String(what)).arg(QCoreApplication::applicationPid());
}

// Sends from another thread, as a second process would: the server here
// only reads while this thread's event loop runs.
bool forwardFromThread(const QStringList &files, const QString &name)
{
    std::atomic_bool done { false };
    bool handedOver = false;
    std::thread client([&] {
        handedOver = forwardToRunningInstance(files, name);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    client.join();
    return handedOver;
}

QStringList received(const QSignalSpy &spy)
{
    QStringList paths;
    for (const QList<QVariant> &args : spy)
        paths.append(args.at(0).toString());
    return paths;
}

using TestUtil::waitForServer;

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void serverName_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("name");
        QTest::newRow("no tag") << QString() << QStringLiteral("Lectern.SingleInstance");
        QTest::newRow("user id") << QStringLiteral("1000") << QStringLiteral("Lectern.SingleInstance-1000");
    }
    void serverName()
    {
        QFETCH(QString, tag);
        QFETCH(QString, name);
        QCOMPARE(singleInstanceServerName(tag), name);
    }

    // In the user's private runtime folder, where no other account can
    // reach, remove or replace it.
    void serverNameIsPerUser()
    {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        QVERIFY(!runtime.isEmpty());
        QCOMPARE(singleInstanceServerName(),
                 runtime + QStringLiteral("/lectern/Lectern.SingleInstance-%1").arg(::getuid()));
        QCOMPARE(QFileInfo(runtime + QStringLiteral("/lectern")).permissions() & 0x0077, QFileDevice::Permissions());
    }

    void wireFormat_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("none is an empty message") << QStringList{} << QByteArray();
        QTest::newRow("one") << QStringList{ QStringLiteral("a.pdf") } << QByteArray("a.pdf");
        QTest::newRow("two joined by LF")
            << QStringList{ QStringLiteral("a.pdf"), QStringLiteral("b.pdf") } << QByteArray("a.pdf\nb.pdf");
        QTest::newRow("UTF-8") << QStringList{ QStringLiteral("/课件/第 1 课.pdf") }
                               << QStringLiteral("/课件/第 1 课.pdf").toUtf8();
    }
    void wireFormat()
    {
        QFETCH(QStringList, files);
        QFETCH(QByteArray, bytes);
        QCOMPARE(encodeForwardMessage(files), bytes);
        QCOMPARE(decodeForwardMessage(bytes), files);
    }

    void emptyPiecesAreDropped()
    {
        QCOMPARE(decodeForwardMessage("\n\na.pdf\n\nb.pdf\n"),
                 (QStringList{ QStringLiteral("a.pdf"), QStringLiteral("b.pdf") }));
        QCOMPARE(decodeForwardMessage("\n"), QStringList{});
    }

    void noServerMeansFirstInstance()
    {
        QVERIFY(!forwardToRunningInstance({ QStringLiteral("a.pdf") }, uniqueServerName("nobody")));
    }

    void serverOpensForwardedFilesInOrder()
    {
        QWidget window;
        window.show();
        auto *server = new SingleInstanceServer(&window);
        const QString name = uniqueServerName("order");
        QVERIFY(server->listen(name));
        QSignalSpy spy(server, &SingleInstanceServer::openRequested);
        const QStringList files{ QStringLiteral("/课件/甲 a.pdf"), QStringLiteral("b.DPZ"), QStringLiteral("c.docx") };
        QVERIFY(forwardFromThread(files, name));
        QTRY_COMPARE(spy.count(), 3);
        QCOMPARE(received(spy), files);
    }

    void emptyMessageOpensNothing()
    {
        QWidget window;
        auto *server = new SingleInstanceServer(&window);
        const QString name = uniqueServerName("empty");
        QVERIFY(server->listen(name));
        QSignalSpy spy(server, &SingleInstanceServer::openRequested);
        QVERIFY(forwardFromThread({}, name));
        // A later message arrives alone: the empty one contributed nothing.
        QVERIFY(forwardFromThread({ QStringLiteral("later.pdf") }, name));
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(received(spy), QStringList{ QStringLiteral("later.pdf") });
    }

    void longMessageArrivesWhole()
    {
        QWidget window;
        auto *server = new SingleInstanceServer(&window);
        const QString name = uniqueServerName("long");
        QVERIFY(server->listen(name));
        QSignalSpy spy(server, &SingleInstanceServer::openRequested);
        QStringList files;
        for (int i = 0; i < 4000; ++i)
            files.append(QStringLiteral("/很长的文件夹名字/课件 %1 第%1页.pdf").arg(i));
        QVERIFY(encodeForwardMessage(files).size() > 200000); // more than one socket buffer
        QVERIFY(forwardFromThread(files, name));
        QTRY_COMPARE(spy.count(), files.size());
        QCOMPARE(received(spy), files);
    }

    void staleServerFileIsReplaced()
    {
        const QString name = uniqueServerName("stale");
        // What a crashed first instance leaves behind.
        QFile stale(QDir::tempPath() + QLatin1Char('/') + name);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QWidget window;
        auto *server = new SingleInstanceServer(&window);
        QVERIFY(server->listen(name));
        QSignalSpy spy(server, &SingleInstanceServer::openRequested);
        QVERIFY(forwardFromThread({ QStringLiteral("x.pdf") }, name));
        QTRY_COMPARE(spy.count(), 1);
    }

    // Two real processes of the program: the second hands a.pdf and b.pdf
    // to the first and exits 0; the first opens both, in order.
    void secondProcessHandsOverToFirst()
    {
        const QString sandbox = qEnvironmentVariable("LECTERN_TEST_SANDBOX", QDir::tempPath());
        const QString logPath = sandbox + QStringLiteral("/tst_singleinstance-diag.log");
        QFile::remove(logPath);
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/课件 XXXXXX"));
        QVERIFY(dir.isValid());
        const QString first = dir.filePath(QStringLiteral("一 first.pdf"));
        const QString a = dir.filePath(QStringLiteral("甲 a.pdf"));
        const QString b = dir.filePath(QStringLiteral("乙 b.pdf"));
        for (const QString &path : { first, a, b })
            QVERIFY(TestUtil::writeA4Pdf(path, 2, QFileInfo(path).fileName()));
        // The second start names b relative to its own folder; the first
        // runs in another folder that holds a different file of that name.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("elsewhere")));
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(TestUtil::writeA4Pdf(elsewhere + QStringLiteral("/乙 b.pdf"), 5));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LECTERN_LOG"), logPath);
        QProcess firstInstance;
        firstInstance.setProcessEnvironment(env);
        firstInstance.setWorkingDirectory(elsewhere);
        firstInstance.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        firstInstance.start(TestUtil::lecternBinary(), { first });
        QVERIFY(firstInstance.waitForStarted());
        auto stopFirst = qScopeGuard([&] {
            firstInstance.kill();
            firstInstance.waitForFinished();
        });
        QVERIFY2(waitForServer(singleInstanceServerName(), &firstInstance), "the first instance never served");

        QProcess second;
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(dir.path());
        second.start(TestUtil::lecternBinary(), { a, QFileInfo(b).fileName() });
        QVERIFY(second.waitForFinished(kProcessWaitMs));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);

        // Only a switch-like argument: an empty message, still handed over.
        QProcess third;
        third.setProcessEnvironment(env);
        third.start(TestUtil::lecternBinary(), { QStringLiteral("-x") });
        QVERIFY(third.waitForFinished(kProcessWaitMs));
        QCOMPARE(third.exitCode(), 0);
        QCOMPARE(firstInstance.state(), QProcess::Running);

        qputenv("LECTERN_LOG", logPath.toLocal8Bit());
        initLog();
        if (!isLogEnabled())
            QSKIP("the diagnostic log is not built in this tree yet, so the first instance's opens cannot be observed");
        auto readLog = [&] {
            QFile log(logPath);
            return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        };
        // The open lines of the first instance; the other processes' start-up
        // lines name the same files and must not end the wait early.
        const auto opened = [](const QString &path) {
            return QStringLiteral("open: ") + QFileInfo(path).fileName();
        };
        QTRY_VERIFY_WITH_TIMEOUT(readLog().contains(opened(b)), kProcessWaitMs);
        const QString text = readLog();
        const int atFirst = text.indexOf(opened(first));
        const int atA = text.indexOf(opened(a));
        const int atB = text.indexOf(opened(b));
        QVERIFY2(atFirst >= 0 && atFirst < atA && atA < atB, qPrintable(text));
        // The b beside the second start (2 pages), not the one beside the first.
        QVERIFY2(text.contains(opened(b) + QStringLiteral("：2 页")), qPrintable(text));
    }
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
