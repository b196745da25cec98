// What a crash, a reboot, a second account or a failing disk must never
// cost the teacher: ink written two seconds before a SIGKILL comes back on
// the next start even after the reboot emptied /tmp, two accounts work side
// by side, and a save that cannot be written says so and keeps the document
// dirty.
#include "app/documenttabstrip.h"
#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"
#include "files/package.h"
#include "files/workingcopy.h"
#include "ink/annotationjson.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TestUtil::onNextModal;

// Starts the program with --selftest-smoke on file and waits for the line
// starting with prefix; returns the rest of that line ("" on failure).
QString startSmoke(QProcess *process, const QString &file, const QByteArray &prefix)
{
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(TestUtil::lecternBinary(), {QStringLiteral("--selftest-smoke"), file});
    if (!process->waitForStarted(10000))
        return QString();
    QByteArray seen;
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        if (!process->canReadLine() && !process->waitForReadyRead(1000)) {
            if (process->state() != QProcess::Running)
                break;
            continue;
        }
        while (process->canReadLine()) {
            const QByteArray line = process->readLine().trimmed();
            seen += line + '\n';
            if (line.startsWith(prefix))
                return QString::fromUtf8(line.mid(prefix.size()));
        }
    }
    qWarning("no line %s in: %s", prefix.constData(), seen.constData());
    return QString();
}

void killHard(QProcess *process)
{
    process->kill(); // SIGKILL: no handler, no flush, no close event
    process->waitForFinished(10000);
}

// What a reboot does to the temporary folder (systemd-tmpfiles, or a
// tmpfs): nothing in it survives.
bool emptyTempFolderAsAtBoot()
{
    const QString tmp = QDir::tempPath();
    return QDir(tmp).removeRecursively() && QDir().mkpath(tmp);
}

QString sandbox()
{
    return qEnvironmentVariable("LECTERN_TEST_SANDBOX", QDir::tempPath() + QStringLiteral("/sandbox"));
}

// One account's own home with its XDG folders, owned by uid.
QProcessEnvironment accountEnvironment(const QString &home, uid_t uid, const QString &sharedTmp)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    env.insert(QStringLiteral("TMPDIR"), sharedTmp);
    env.insert(QStringLiteral("USER"), uid == 0 ? QStringLiteral("root") : QStringLiteral("nobody"));
    env.remove(QStringLiteral("LECTERN_LOG"));
    for (const char *folder : {"/.config", "/.local/share", "/.local/state", "/.cache", "/run"}) {
        const QString path = home + QLatin1String(folder);
        QDir().mkpath(path);
        ::chmod(QFile::encodeName(path).constData(), 0700);
    }
    return env;
}

void chownTree(const QString &root, uid_t uid)
{
    ::chown(QFile::encodeName(root).constData(), uid, uid);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        ::chown(QFile::encodeName(it.next()).constData(), uid, uid);
}

QString modeOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("missing");
    return QString::number(info.st_mode & 07777, 8);
}

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        QDir(tempFolder()).removeRecursively();
        QDir(workingCopyFolder()).removeRecursively();
        // The teacher's lessons live in her own folders, not below /tmp.
        QDir().mkpath(sandbox() + QStringLiteral("/lessons"));
        m_dir = std::make_unique<QTemporaryDir>(sandbox() + QStringLiteral("/lessons/XXXXXX"));
        QVERIFY(m_dir->isValid());
    }

    void strokesSurviveSigkill_data()
    {
        QTest::addColumn<bool>("package");
        QTest::newRow("pdf") << false;
        QTest::newRow("package") << true;
    }

    void strokesSurviveSigkill()
    {
        QFETCH(bool, package);
        const QString pdf = m_dir->filePath(QStringLiteral("课件.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        QString file = pdf;
        if (package) {
            file = m_dir->filePath(QStringLiteral("课件.dpz"));
            QFile source(pdf);
            QVERIFY(source.open(QIODevice::ReadOnly));
            QVERIFY(writePackage(file, source.readAll(), QJsonObject()));
        }

        QProcess first;
        QCOMPARE(startSmoke(&first, file, "smoke: restored_strokes="), QStringLiteral("0"));
        QCOMPARE(startSmoke(&first, file, "smoke: strokes="), QStringLiteral("3"));
        QTest::qWait(2000);
        killHard(&first);
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);

        QJsonObject json;
        QVERIFY(readPackage(workingCopyPath(file), nullptr, &json));
        QCOMPARE(strokeCount(inkFromAnnotations(json)), 3);
        // The power cut was a real one: the machine boots again, and /tmp
        // comes up empty.
        QVERIFY(emptyTempFolderAsAtBoot());

        QProcess second;
        QCOMPARE(startSmoke(&second, file, "smoke: restored_strokes="), QStringLiteral("3"));
        QCOMPARE(startSmoke(&second, file, "smoke: strokes="), QStringLiteral("6"));
        QTest::qWait(2000);
        killHard(&second);

        QProcess third;
        QCOMPARE(startSmoke(&third, file, "smoke: restored_strokes="), QStringLiteral("6"));
        killHard(&third);
    }

    // A classroom PC with two teachers' accounts and one /tmp: the second
    // account opens a package while the first one's lesson is open. Each
    // keeps its files in its own private folders, and both keep their ink.
    void twoAccountsWorkSideBySide()
    {
        if (::geteuid() != 0)
            QSKIP("a second account needs root to switch to it");
        const QString users = sandbox() + QStringLiteral("/users");
        QDir(users).removeRecursively();
        const QString sharedTmp = users + QStringLiteral("/tmp");
        QVERIFY(QDir().mkpath(sharedTmp));
        QCOMPARE(::chmod(QFile::encodeName(users).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(sharedTmp).constData(), 01777), 0);

        struct Account
        {
            uid_t uid;
            QString home;
            QString package;
            std::unique_ptr<QProcess> process;
        };
        Account accounts[2] = {{0, users + QStringLiteral("/a"), {}, nullptr},
                               {65534, users + QStringLiteral("/b"), {}, nullptr}};
        for (Account &account : accounts) {
            QVERIFY(QDir().mkpath(account.home));
            const QString pdf = account.home + QStringLiteral("/课件.pdf");
            QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
            QFile source(pdf);
            QVERIFY(source.open(QIODevice::ReadOnly));
            account.package = account.home + QStringLiteral("/第一课.dpz");
            QVERIFY(writePackage(account.package, source.readAll(), QJsonObject()));
            account.process = std::make_unique<QProcess>();
            account.process->setProcessEnvironment(accountEnvironment(account.home, account.uid, sharedTmp));
            chownTree(account.home, account.uid);
            QCOMPARE(::chmod(QFile::encodeName(account.home).constData(), 0700), 0);
            if (account.uid != 0) {
                const uid_t uid = account.uid;
                account.process->setChildProcessModifier([uid] {
                    const gid_t gid = uid;
                    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                        ::_exit(111);
                });
            }
        }
        auto stopAll = qScopeGuard([&accounts] {
            for (Account &account : accounts)
                killHard(account.process.get());
        });
        // The first account's lesson is open (and made its folders) before
        // the second account starts.
        for (Account &account : accounts) {
            QCOMPARE(startSmoke(account.process.get(), account.package, "smoke: restored_strokes="), QStringLiteral("0"));
            QCOMPARE(startSmoke(account.process.get(), account.package, "smoke: strokes="), QStringLiteral("3"));
        }
        QTest::qWait(2000);
        for (Account &account : accounts) {
            QCOMPARE(account.process->state(), QProcess::Running);
            const QString state = account.home + QStringLiteral("/.local/state/lectern");
            QCOMPARE(modeOf(state), QStringLiteral("700"));
            QCOMPARE(QFileInfo(state).ownerId(), account.uid);
            QCOMPARE(modeOf(account.home + QStringLiteral("/.cache/lectern")), QStringLiteral("700"));
            QDir workingCopies(state, QStringLiteral("work-*.dpz"));
            QCOMPARE(workingCopies.count(), 1u);
            QJsonObject json;
            QVERIFY(readPackage(workingCopies.filePath(workingCopies.entryList().first()), nullptr, &json));
            QCOMPARE(strokeCount(inkFromAnnotations(json)), 3);
        }
        // Nothing of either lives in the shared folder.
        QCOMPARE(QDir(sharedTmp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // A kill while working copies are being written, one after another,
    // leaves the last complete copy, and it restores.
    void killDuringWorkingCopyWritesKeepsARestorableCopy()
    {
        const QString pdf = m_dir->filePath(QStringLiteral("讲义.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(TestUtil::lecternBinary(), { QStringLiteral("--bench-workingcopy"), pdf });
        QVERIFY(writer.waitForStarted(10000));
        QDeadlineTimer deadline(60000);
        while (!writer.canReadLine() && !deadline.hasExpired() && writer.state() == QProcess::Running)
            writer.waitForReadyRead(1000);
        QVERIFY(writer.readLine().startsWith("workingcopy_first_write_ms="));
        killHard(&writer);
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit); // killed among the following writes

        const RestoreResult restored = runRestoreGate(pdf);
        QCOMPARE(restored.outcome, RestoreResult::Outcome::Restored);
        QVERIFY(strokeCount(inkFromAnnotations(restored.annotations)) >= 2000);
    }

    void unwritableSaveStaysDirty_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("viaPackage");
        QTest::newRow("target folder missing") << QStringLiteral("missing/folder/out.dpz") << false;
        QTest::newRow("target under a regular file") << QStringLiteral("plain.txt/out.dpz") << false;
        QTest::newRow("package folder removed since opening") << QStringLiteral("gone/lesson.dpz") << true;
    }

    void unwritableSaveStaysDirty()
    {
        QFETCH(QString, target);
        QFETCH(bool, viaPackage);
        QFile plain(m_dir->filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("not a folder");
        plain.close();
        const QString pdf = m_dir->filePath(QStringLiteral("lesson.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 1));
        const QString targetPath = m_dir->filePath(target);
        QString opened = pdf;
        if (viaPackage) {
            QVERIFY(QDir().mkpath(QFileInfo(targetPath).absolutePath()));
            QFile source(pdf);
            QVERIFY(source.open(QIODevice::ReadOnly));
            QVERIFY(writePackage(targetPath, source.readAll(), QJsonObject()));
            opened = targetPath;
        }

        MainWindow window;
        window.resize(900, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.openPath(opened);
        QCOMPARE(window.documentCount(), 1);
        PdfCanvas *canvas = window.canvas(0);
        QTRY_VERIFY(!canvas->pageRect(0).isEmpty());
        const QRectF page = canvas->pageRect(0);
        QTest::mousePress(canvas->viewport(), Qt::LeftButton, Qt::NoModifier, page.center().toPoint());
        QTest::mouseMove(canvas->viewport(), page.center().toPoint() + QPoint(40, 10));
        QTest::mouseRelease(canvas->viewport(), Qt::LeftButton, Qt::NoModifier,
                            page.center().toPoint() + QPoint(80, 20));
        QVERIFY(window.document(0).dirty);

        if (viaPackage)
            QVERIFY(QDir(QFileInfo(targetPath).absolutePath()).removeRecursively());
        else
            onNextModal<QFileDialog>([targetPath](QFileDialog *dialog) {
                TestUtil::chooseFile(dialog, targetPath);
            });
        QString title;
        QString text;
        // Chained: the warning follows the dialog.
        QTimer::singleShot(0, &window, [&title, &text] {
            onNextModal<QMessageBox>([&title, &text](QMessageBox *box) {
                title = box->windowTitle();
                text = box->text();
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            });
        });
        QVERIFY(!window.save(0));
        QCOMPARE(title, QStringLiteral("保存失败"));
        QVERIFY2(!text.isEmpty(), qPrintable(text));
        qInfo("writer's message: %s", qPrintable(text));
        QVERIFY(window.document(0).dirty);
        QCOMPARE(window.tabStrip()->tabTitle(0).left(1), QStringLiteral("*"));
        QCOMPARE(window.document(0).packagePath, viaPackage ? targetPath : QString());
        QVERIFY(!QFileInfo::exists(targetPath));
        // Nothing half-written is left beside the target either.
        if (!viaPackage)
            QCOMPARE(QFileInfo(plain.fileName()).size(), qint64(12));
        QCOMPARE(canvas->strokeCount(), 1);

        onNextModal<QMessageBox>([](QMessageBox *box) {
            for (QAbstractButton *button : box->buttons())
                if (button->text() == QStringLiteral("舍弃"))
                    QTest::mouseClick(button, Qt::LeftButton);
        });
        window.onCloseCurrent();
        QCOMPARE(window.documentCount(), 0);
    }
};

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
