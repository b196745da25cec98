#include "system/updatecheck.h"
#include "testutil.h"

#include <QHostAddress>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// A release host on 127.0.0.1: answers every request with one crafted status
// line and Location, stays silent, or hangs up; it records what it was sent.
class FakeReleaseHost : public QObject
{
public:
    enum class Mode { Answer, Silent, HangUp };
    Mode mode = Mode::Answer;
    int status = 302;
    QByteArray location;
    QList<QByteArray> requests;

    FakeReleaseHost()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
    }
    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/o/p/releases/latest").arg(m_server.serverPort()));
    }

private:
    void serve(QTcpSocket *socket)
    {
        m_pending[socket] += socket->readAll();
        if (!m_pending[socket].contains("\r\n\r\n"))
            return;
        requests.append(m_pending.take(socket));
        if (mode == Mode::Silent)
            return;
        if (mode == Mode::Answer) {
            QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + " Crafted\r\n";
            if (!location.isNull())
                answer += "Location: " + location + "\r\n";
            socket->write(answer + "Content-Length: 0\r\nConnection: close\r\n\r\n");
        }
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private:
    // Runs one check and waits for its report, plus a moment for a second one.
    QList<UpdateCheck::Result> runCheck(FakeReleaseHost &host, const QString &version, int timeoutMs = 3000)
    {
        qputenv("LECTERN_UPDATE_URL", host.url().toEncoded());
        UpdateCheck::Checker checker;
        checker.setTransferTimeout(timeoutMs);
        QList<UpdateCheck::Result> results;
        connect(&checker, &UpdateCheck::Checker::finished, this,
                [&](const UpdateCheck::Result &r) { results.append(r); });
        checker.check(version);
        checker.check(version);
        if (!QTest::qWaitFor([&] { return !results.isEmpty(); }, timeoutMs + 5000))
            qWarning("no report within the bound");
        QTest::qWait(150);
        return results;
    }

private slots:
    void versionRule_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("sign");
        QTest::newRow("missing component is less") << "1.2" << "1.2.0" << -1;
        QTest::newRow("then the number") << "1.2.0" << "1.2.1" << -1;
        QTest::newRow("numeric, not textual") << "v1.10.0" << "1.9.9" << 1;
        QTest::newRow("suffix ignored") << "1.4.0-exp" << "V1.4.0" << 0;
        QTest::newRow("leading zeros") << "1.02" << "1.2" << 0;
        QTest::newRow("beyond 64 bits") << "1.99999999999999999999999" << "1.99999999999999999999998" << 1;
        QTest::newRow("no number at all") << "nightly" << "0" << -1;
    }
    void versionRule()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, sign);
        QCOMPARE(qBound(-1, UpdateCheck::compareVersions(a, b), 1), sign);
        QCOMPARE(qBound(-1, UpdateCheck::compareVersions(b, a), 1), -sign);
    }

    void answers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("page"); // "" = not checked; "@" prefix = relative to the host
        QTest::addColumn<QString>("error");
        const QString noRelease = QStringLiteral("没有找到已发布的版本");
        // Only a page on the host that was asked is ever opened.
        const QString list = UpdateCheck::releasesUrl().toString();
        QTest::newRow("newer, on another host") << 302 << QByteArray("https://example.org/o/p/releases/tag/v2.0.1")
                                                << "2.0.0" << 1 << "v2.0.1" << list << "";
        QTest::newRow("plain http elsewhere") << 302 << QByteArray("http://example.org/o/p/releases/tag/v2.0.1")
                                              << "2.0.0" << 1 << "v2.0.1" << list << "";
        QTest::newRow("same host, other port") << 302 << QByteArray("http://127.0.0.1:1/o/p/releases/tag/v2.0.1")
                                               << "2.0.0" << 1 << "v2.0.1" << list << "";
        QTest::newRow("same as an experimental build") << 302 << QByteArray("https://example.org/o/p/releases/tag/v2.0.0")
                                                       << "2.0.0-exp" << 0 << "v2.0.0" << "" << "";
        QTest::newRow("relative") << 301 << QByteArray("/o/p/releases/tag/1.3") << "1.2" << 1 << "1.3"
                                  << "@/o/p/releases/tag/1.3" << "";
        QTest::newRow("percent-encoded Chinese")
            << 302 << QByteArray("/o/p/releases/tag/v1.5-%E6%AD%A3%E5%BC%8F%E7%89%88?x=1") << "1.5.0" << 0
            << QStringLiteral("v1.5-正式版") << "" << "";
        QTest::newRow("encoded plus") << 302 << QByteArray("/o/p/releases/tag/v1.0%2Bbuild") << "0.9" << 1
                                      << "v1.0+build" << "" << "";
        QTest::newRow("six components") << 307 << QByteArray("/o/p/releases/tag/1.2.3.4.5.6") << "1.2.3.4.5"
                                        << 1 << "1.2.3.4.5.6" << "" << "";
        QTest::newRow("file address") << 302 << QByteArray("file:///etc/releases/tag/v9") << "1.0" << 1 << "v9"
                                      << UpdateCheck::releasesUrl().toString() << "";
        QTest::newRow("no Location") << 302 << QByteArray() << "1.0" << 2 << "" << "" << noRelease;
        QTest::newRow("300 without Location") << 300 << QByteArray() << "1.0" << 2 << "" << "" << noRelease;
        QTest::newRow("bare v") << 302 << QByteArray("/o/p/releases/tag/v") << "1.0" << 2 << "" << "" << noRelease;
        QTest::newRow("words before the year") << 302 << QByteArray("/o/p/releases/tag/release-2026") << "1.0"
                                               << 2 << "" << "" << noRelease;
        QTest::newRow("not a tag page") << 302 << QByteArray("/o/p/releases") << "1.0" << 2 << "" << "" << noRelease;
        QTest::newRow("200") << 200 << QByteArray() << "1.0" << 2 << "" << ""
                             << QStringLiteral("GitHub 返回了意外的结果（HTTP 200）");
        QTest::newRow("429") << 429 << QByteArray("/o/p/releases/tag/v9") << "1.0" << 2 << "" << ""
                             << QStringLiteral("GitHub 返回了意外的结果（HTTP 429）");
        QTest::newRow("overlong tag") << 302 << "/o/p/releases/tag/v9." + QByteArray(100, '1') << "1.0" << 2 << ""
                                      << "" << noRelease;
        QTest::newRow("overlong Location") << 302 << "/o/p/releases/tag/v9?" + QByteArray(5000, 'a') << "1.0" << 2
                                           << "" << "" << noRelease;
    }
    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, location);
        QFETCH(QString, current);
        QFETCH(int, outcome);
        QFETCH(QString, tag);
        QFETCH(QString, page);
        QFETCH(QString, error);
        FakeReleaseHost host;
        host.status = status;
        host.location = location;
        const QList<UpdateCheck::Result> results = runCheck(host, current);
        QCOMPARE(results.size(), 1);
        QCOMPARE(host.requests.size(), 1);
        QVERIFY(host.requests.first().startsWith("HEAD /o/p/releases/latest HTTP/1.1\r\n"));
        QVERIFY(host.requests.first().contains("\r\nUser-Agent: lectern/" + current.toUtf8() + "\r\n"));
        const UpdateCheck::Result &r = results.first();
        QCOMPARE(int(r.status), outcome);
        QCOMPARE(r.latestTag, tag);
        QCOMPARE(r.error, error);
        if (page.startsWith(QLatin1Char('@')))
            page = QStringLiteral("http://127.0.0.1:%1%2").arg(host.url().port()).arg(page.mid(1));
        if (!page.isEmpty())
            QCOMPARE(r.releasePage.toString(), page);
    }

    // The real release host: its redirect is opened only over https and only
    // on that host; the test variable counts only for this machine.
    void releaseHostRules()
    {
        qunsetenv("LECTERN_UPDATE_URL");
        const QUrl asked = UpdateCheck::latestReleaseUrl();
        qputenv("LECTERN_UPDATE_URL", "https://updates.example.org/o/p/releases/latest");
        QCOMPARE(UpdateCheck::latestReleaseUrl(), asked);
        qunsetenv("LECTERN_UPDATE_URL");
        QCOMPARE(asked.scheme(), QStringLiteral("https"));
        QUrl tagPage = asked;
        tagPage.setPath(asked.path().replace(QStringLiteral("/latest"), QStringLiteral("/tag/v9.1")));
        UpdateCheck::Result r = UpdateCheck::interpretAnswer(302, tagPage.toEncoded(), QStringLiteral("1.0"), asked);
        QCOMPARE(r.status, UpdateCheck::Result::NewerFound);
        QCOMPARE(r.releasePage, tagPage);
        QUrl plain = tagPage;
        plain.setScheme(QStringLiteral("http"));
        r = UpdateCheck::interpretAnswer(302, plain.toEncoded(), QStringLiteral("1.0"), asked);
        QCOMPARE(r.latestTag, QStringLiteral("v9.1"));
        QCOMPARE(r.releasePage, UpdateCheck::releasesUrl());
    }

    void silentHostTimesOut()
    {
        FakeReleaseHost host;
        host.mode = FakeReleaseHost::Mode::Silent;
        const QList<UpdateCheck::Result> results = runCheck(host, QStringLiteral("1.0"), 300);
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.first().status, UpdateCheck::Result::Failed);
        QCOMPARE(results.first().error, QStringLiteral("连接 GitHub 超时"));
    }

    void hangUpIsAConnectionFailure()
    {
        FakeReleaseHost host;
        host.mode = FakeReleaseHost::Mode::HangUp;
        const QList<UpdateCheck::Result> results = runCheck(host, QStringLiteral("1.0"));
        QCOMPARE(results.size(), 1);
        QVERIFY2(results.first().error.startsWith(QStringLiteral("无法连接 GitHub（")), qPrintable(results.first().error));
    }

    void destroyedWhilePendingReportsNothing()
    {
        FakeReleaseHost host;
        host.mode = FakeReleaseHost::Mode::Silent;
        qputenv("LECTERN_UPDATE_URL", host.url().toEncoded());
        int reports = 0;
        {
            UpdateCheck::Checker checker;
            connect(&checker, &UpdateCheck::Checker::finished, this, [&] { ++reports; });
            checker.check(QStringLiteral("1.0"));
            QTRY_COMPARE(host.requests.size(), 1);
        }
        QTest::qWait(100);
        QCOMPARE(reports, 0);
    }

    void selfTestSwitch()
    {
        FakeReleaseHost host;
        host.location = "/o/p/releases/tag/v3.1";
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LECTERN_UPDATE_URL"), host.url().toString());
        process.setProcessEnvironment(env);
        process.start(TestUtil::lecternBinary(), {QStringLiteral("--selftest-update"), QStringLiteral("3.0")});
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 30000);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("status=NewerFound tag=v3.1")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("finished=1")) && out.contains(QStringLiteral("PASS update")), qPrintable(out));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(host.requests.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
