// Word conversion on real files: the real LibreOffice once, fake soffice
// scripts for the faults (hangs, crashes, garbage), the cancel, and the
// Word reminder's backup logic on a fake store.
#include "files/wordconvert.h"
#include "files/wordconvertjob.h"
#include "files/wordconvertsample.h"
#include "files/workingcopy.h"
#include "system/wordreminder.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <signal.h>
#include <utime.h>

namespace {

QString writeScript(const QString &folder, const QString &name, const QString &body)
{
    const QString path = folder + QLatin1Char('/') + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// Alive means running or stopped, not a zombie nobody has reaped yet.
bool processAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) != "Z";
}

// Sets an environment variable for one scope.
class EnvironmentOverride
{
public:
    EnvironmentOverride(const char *name, const QString &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value.toUtf8());
    }
    ~EnvironmentOverride()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentOverride(const EnvironmentOverride &) = delete;
    EnvironmentOverride &operator=(const EnvironmentOverride &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

QStringList leftovers()
{
    return QDir(tempFolder()).entryList({QStringLiteral("lo-*"), QStringLiteral("*.part")},
                                        QDir::AllEntries | QDir::NoDotAndDotDot);
}

class FakeStore : public KeyValueStore
{
public:
    QMap<QString, QMap<QString, QVariant>> keys;
    bool failFlush = false;
    int writes = 0;

    QStringList subkeys(const QString &key) const override
    {
        QStringList names;
        for (auto it = keys.begin(); it != keys.end(); ++it) {
            if (it.key().startsWith(key + QLatin1Char('/'))) {
                const QString name = it.key().mid(key.size() + 1).section(QLatin1Char('/'), 0, 0);
                if (!names.contains(name))
                    names.append(name);
            }
        }
        return names;
    }
    bool hasValue(const QString &key, const QString &name) const override { return keys.value(key).contains(name); }
    QVariant value(const QString &key, const QString &name) const override { return keys.value(key).value(name); }
    void setValue(const QString &key, const QString &name, const QVariant &value) override
    {
        keys[key][name] = value;
        ++writes;
    }
    void removeValue(const QString &key, const QString &name) override
    {
        keys[key].remove(name);
        ++writes;
    }
    bool flush(const QString &) override { return !failFlush; }
};

} // namespace

class TestWordConvert : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_docx;

    QString makeDocx(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        return writeSampleDocx(path, 2, SamplePictures::OnePerPage) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qunsetenv("LECTERN_SOFFICE");
        // Chinese, spaces, quotes and a leading dash in one name.
        m_docx = makeDocx(QStringLiteral("-第1课 \"引号\" 'x'.docx"));
        QVERIFY(!m_docx.isEmpty());
    }

    void cleanup()
    {
        qunsetenv("LECTERN_SOFFICE");
        QVERIFY2(leftovers().isEmpty(), qPrintable(leftovers().join(QLatin1Char(' '))));
    }

    void classifiesAndNamesTheCache()
    {
        for (const char *name : {"a.docx", "b.doc", "C.DOCX", "课.Doc"})
            QVERIFY2(isWordDocument(QString::fromUtf8(name)), name);
        for (const char *name : {"a.pdf", "a.dpz", "a.txt", "docx", "a.docx.pdf"})
            QVERIFY2(!isWordDocument(QString::fromUtf8(name)), name);

        const QString first = wordCachePath(m_docx, WordEngine::LibreOffice);
        QCOMPARE(wordCachePath(m_docx, WordEngine::LibreOffice), first);
        QCOMPARE(QFileInfo(first).absolutePath(), tempFolder());
        QVERIFY(QFileInfo(first).fileName().startsWith(QStringLiteral("word-")));
        QVERIFY(first.endsWith(QStringLiteral("-lo.pdf")));
        QVERIFY(!wordCachePath(m_docx, WordEngine::Word).endsWith(QStringLiteral("-lo.pdf")));

        // A changed modification time (the same bytes) is another document.
        const QString copy = m_dir.filePath(QStringLiteral("copy.docx"));
        QVERIFY(QFile::copy(m_docx, copy));
        const QString before = wordCachePath(copy, WordEngine::LibreOffice);
        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(wordCachePath(copy, WordEngine::LibreOffice) != before);

        QString pdf = QStringLiteral("stale");
        QString error;
        QVERIFY(!convertWordToPdf(m_dir.filePath(QStringLiteral("x.pdf")), &pdf, &error));
        QVERIFY(pdf.isEmpty());
        QCOMPARE(error, QStringLiteral("不是 Word 文档：%1").arg(m_dir.filePath(QStringLiteral("x.pdf"))));
        // Bytes no Word would open are refused before LibreOffice turns
        // them into a PDF of junk.
        const QList<QPair<QString, QByteArray>> junk{
            {QStringLiteral("empty.doc"), QByteArray()},
            {QStringLiteral("text.docx"), QByteArrayLiteral("just text")},
            {QStringLiteral("zip.docx"), QByteArrayLiteral("PK\x03\x04 no word parts here")}};
        for (const auto &[name, bytes] : junk) {
            QFile file(m_dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            file.close();
            QVERIFY(!convertWordToPdf(file.fileName(), &pdf, &error));
            QVERIFY2(error.contains(QStringLiteral("Word 文档")) && error.endsWith(file.fileName()),
                     qPrintable(error));
        }
        // A cache folder that cannot be made (under a regular file).
        const QByteArray tmp = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", m_docx.toUtf8() + "/cache");
        QVERIFY(!convertWordToPdf(m_docx, &pdf, &error));
        if (tmp.isEmpty())
            qunsetenv("XDG_CACHE_HOME");
        else
            qputenv("XDG_CACHE_HOME", tmp);
        QVERIFY2(error.startsWith(QStringLiteral("无法创建临时目录：")), qPrintable(error));
        const QString missing = m_dir.filePath(QStringLiteral("missing.docx"));
        QVERIFY(!convertWordToPdf(missing, &pdf, &error));
        QCOMPARE(error, QStringLiteral("源文件不存在：%1").arg(missing));
    }

    // The real LibreOffice, then the cache served without any process. Its
    // profile lies in a folder whose name holds a blank and a "#", as a
    // teacher's account name may: the profile URL must still be valid.
    void convertsWithLibreOfficeThenServesTheCache()
    {
        if (findSoffice().isEmpty())
            QSKIP("LibreOffice is not installed");
        const QString odd = m_dir.filePath(QStringLiteral("张 老师 #2"));
        QVERIFY(QDir().mkpath(odd + QStringLiteral("/tmp")) && QDir().mkpath(odd + QStringLiteral("/cache")));
        const EnvironmentOverride tmp("TMPDIR", odd + QStringLiteral("/tmp"));
        const EnvironmentOverride cache("XDG_CACHE_HOME", odd + QStringLiteral("/cache"));
        QVERIFY(tempFolder().contains(QStringLiteral("张 老师 #2")));
        QString pdf;
        QString error;
        QVERIFY2(convertWordToPdf(m_docx, &pdf, &error), qPrintable(error));
        QCOMPARE(pdf, wordCachePath(m_docx, WordEngine::LibreOffice));
        QPdfDocument document;
        document.load(pdf);
        QCOMPARE(document.status(), QPdfDocument::Status::Ready);
        QCOMPARE(document.pageCount(), 2);

        const QString marker = m_dir.filePath(QStringLiteral("ran"));
        qputenv("LECTERN_SOFFICE", writeScript(m_dir.path(), QStringLiteral("marker.sh"),
                                               QStringLiteral("touch '%1'").arg(marker)).toUtf8());
        QString again;
        QVERIFY(convertWordToPdf(m_docx, &again, &error));
        QCOMPARE(again, pdf);
        QVERIFY(!QFile::exists(marker));

        // The command-line export opens the document as the window does.
        const QString exported = m_dir.filePath(QStringLiteral("exported.pdf"));
        QProcess cli;
        cli.start(TestUtil::lecternBinary(), {QStringLiteral("--export-pdf"), m_docx, exported});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        QPdfDocument back;
        back.load(exported);
        QCOMPARE(back.pageCount(), 2);
        QVERIFY(!QFile::exists(marker));
        QVERIFY2(leftovers().isEmpty(), qPrintable(leftovers().join(QLatin1Char(' '))));
    }

    // A LibreOffice that crashes after writing half a PDF leaves nothing in
    // the cache; a cached PDF that no longer opens is converted again.
    void onlyAWholePdfIsCached()
    {
        const QString whole = m_dir.filePath(QStringLiteral("whole.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(whole, 2));
        QFile file(whole);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        const QString half = m_dir.filePath(QStringLiteral("half.pdf"));
        QFile cut(half);
        QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write(bytes.left(bytes.size() / 2)) == bytes.size() / 2);
        cut.close();
        const auto converter = [this](const QString &name, const QString &pdf, const QString &end) {
            return writeScript(m_dir.path(), name,
                               QStringLiteral("touch '%1.ran'; base=$(basename \"${11}\"); cp '%2' \"${10}/${base%.*}.pdf\"; %3")
                                   .arg(m_dir.filePath(name), pdf, end));
        };
        const QString source = makeDocx(QStringLiteral("half.docx"));
        qputenv("LECTERN_SOFFICE", converter(QStringLiteral("crash.sh"), half, QStringLiteral("kill -SEGV $$")).toUtf8());
        QString pdf;
        QString error;
        QVERIFY(!convertWordToPdf(source, &pdf, &error));
        QVERIFY2(error.startsWith(QStringLiteral("LibreOffice 异常退出")), qPrintable(error));
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("crash.sh.ran"))));
        QVERIFY(!QFile::exists(wordCachePath(source, WordEngine::LibreOffice)));

        // Half a PDF with a clean exit is no conversion either.
        qputenv("LECTERN_SOFFICE", converter(QStringLiteral("quiet.sh"), half, QStringLiteral("exit 0")).toUtf8());
        QVERIFY(!convertWordToPdf(source, &pdf, &error));
        QVERIFY2(error.contains(QStringLiteral("PDF")), qPrintable(error));
        QVERIFY(!QFile::exists(wordCachePath(source, WordEngine::LibreOffice)));

        // A cache file damaged since it was written goes and is made again.
        const QString cached = wordCachePath(source, WordEngine::LibreOffice);
        QVERIFY(QFile::copy(half, cached));
        qputenv("LECTERN_SOFFICE", converter(QStringLiteral("good.sh"), whole, QStringLiteral("exit 0")).toUtf8());
        QVERIFY2(convertWordToPdf(source, &pdf, &error), qPrintable(error));
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("good.sh.ran"))));
        QCOMPARE(pdf, cached);
        QVERIFY(convertedPdfOpens(cached));
    }

    // A program that dies mid-conversion: its LibreOffice dies with it, a
    // helper that LibreOffice forked is ended at the next start, and the
    // folders go once they are old enough to belong to no conversion.
    void leftoversOfACrashAreCleanedUp()
    {
        const QString pids = m_dir.filePath(QStringLiteral("orphan-pids"));
        // The helper carries LibreOffice's arguments, as soffice.bin does.
        qputenv("LECTERN_SOFFICE",
                writeScript(m_dir.path(), QStringLiteral("orphan.sh"),
                            QStringLiteral("python3 -c 'import time; time.sleep(120)' \"$@\" & "
                                           "echo $$ $! > '%1'.tmp; mv '%1'.tmp '%1'; wait")
                                .arg(pids))
                    .toUtf8());
        QProcess program;
        program.start(TestUtil::lecternBinary(), {QStringLiteral("--export-pdf"),
                                                  makeDocx(QStringLiteral("orphan.docx")),
                                                  m_dir.filePath(QStringLiteral("orphan.pdf"))});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pids), 30000);
        QFile file(pids);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> started = file.readAll().trimmed().split(' ');
        QCOMPARE(started.size(), 2);
        const qint64 launcher = started.at(0).toLongLong();
        const qint64 helper = started.at(1).toLongLong();
        // Whatever fails below, nothing of this outlives the test.
        const auto tidy = qScopeGuard([launcher, helper] {
            for (const qint64 pid : {launcher, helper}) {
                if (processAlive(pid))
                    ::kill(pid_t(pid), SIGKILL);
            }
            for (const QString &name : QDir(tempFolder()).entryList({QStringLiteral("lo-*")}, QDir::Dirs))
                QDir(tempFolder() + QLatin1Char('/') + name).removeRecursively();
        });
        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(10000));

        QTRY_VERIFY_WITH_TIMEOUT(!processAlive(launcher), 10000);
        QVERIFY(processAlive(helper));
        QStringList folders = QDir(tempFolder()).entryList({QStringLiteral("lo-*")}, QDir::Dirs);
        QCOMPARE(folders.size(), 2);
        // Fresh folders may belong to a conversion still running elsewhere.
        QCOMPARE(sweepConverterLeftovers(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!processAlive(helper), 10000);
        QCOMPARE(QDir(tempFolder()).entryList({QStringLiteral("lo-*")}, QDir::Dirs), folders);
        const QString fresh = tempFolder() + QStringLiteral("/lo-out-fresh");
        QVERIFY(QDir().mkpath(fresh));
        for (const QString &name : std::as_const(folders)) {
            struct utimbuf old;
            old.actime = old.modtime = ::time(nullptr) - 2 * 3600;
            QCOMPARE(::utime(QFile::encodeName(tempFolder() + QLatin1Char('/') + name).constData(), &old), 0);
        }
        QCOMPARE(sweepConverterLeftovers(), 2);
        QCOMPARE(QDir(tempFolder()).entryList({QStringLiteral("lo-*")}, QDir::Dirs),
                 QStringList{QStringLiteral("lo-out-fresh")});
        QVERIFY(QDir(fresh).removeRecursively());
    }

    void faultsOfSoffice_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hangs") << QStringLiteral("sleep 30") << QStringLiteral("LibreOffice 转换超时");
        QTest::newRow("crashes") << QStringLiteral("kill -SEGV $$")
                                 << QStringLiteral("LibreOffice 未生成 PDF（退出码 ");
        QTest::newRow("garbage") << QStringLiteral("printf '\\377\\376\\201 boom\\n' >&2; exit 3")
                                 << QStringLiteral("LibreOffice 未生成 PDF（退出码 3：");
        QTest::newRow("no result") << QStringLiteral("exit 0") << QStringLiteral("LibreOffice 未生成 PDF（退出码 0）");
        QTest::newRow("cannot run") << QString() << QStringLiteral("无法启动 LibreOffice（");
    }

    void faultsOfSoffice()
    {
        QFETCH(QString, body);
        QFETCH(QString, expected);
        const QString script = writeScript(m_dir.path(), QStringLiteral("fault.sh"), body);
        if (body.isEmpty())
            QFile(script).setPermissions(QFile::ReadOwner); // exists, cannot be executed
        qputenv("LECTERN_SOFFICE", script.toUtf8());
        qputenv("LC_ALL", "C");
        WordConvertJob job(makeDocx(QStringLiteral("fault.docx")), {2000, 500, 2000});
        QVERIFY(job.start() || job.state() == WordConvertJob::State::Failed);
        QVERIFY(!job.waitForFinished());
        qunsetenv("LC_ALL");
        QVERIFY2(job.error().startsWith(expected), qPrintable(job.error()));
        if (QTest::currentDataTag() == QByteArrayLiteral("garbage"))
            QVERIFY2(job.error().contains(QStringLiteral("boom")), qPrintable(job.error()));
        if (job.processId() > 0)
            QVERIFY(!processAlive(job.processId()));
        QVERIFY(!QFile::exists(wordCachePath(job.source(), WordEngine::LibreOffice)));
    }

    // A soffice that does its job: exactly the 11 arguments, and the result
    // reaches the cache only through the partial file.
    void runsSofficeWithItsArguments()
    {
        const QString args = m_dir.filePath(QStringLiteral("args.txt"));
        const QString result = m_dir.filePath(QStringLiteral("result.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(result, 1));
        const QString script = writeScript(
            m_dir.path(), QStringLiteral("fake.sh"),
            QStringLiteral("for a in \"$@\"; do printf '%s\\n' \"$a\" >> '%1'; done\n"
                           "base=$(basename \"${11}\"); cp '%2' \"${10}/${base%.*}.pdf\"")
                .arg(args, result));
        qputenv("LECTERN_SOFFICE", script.toUtf8());
        const QString source = makeDocx(QStringLiteral("args.docx"));
        WordConvertJob job(source);
        QVERIFY(job.start());
        QVERIFY2(job.waitForFinished(), qPrintable(job.error()));
        QFile file(args);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList got = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(got.size(), 11);
        QCOMPARE(got.at(0), QStringLiteral("-env:UserInstallation=")
                                + QUrl::fromLocalFile(job.profileFolder()).toString(QUrl::FullyEncoded));
        QCOMPARE(got.mid(1, 8), QStringList({"--headless", "--norestore", "--nolockcheck", "--nodefault",
                                             "--nofirststartwizard", "--convert-to", "pdf", "--outdir"}));
        QCOMPARE(got.at(9), job.outputFolder());
        QCOMPARE(got.at(10), source);
        QCOMPARE(job.pdfPath(), wordCachePath(source, WordEngine::LibreOffice));
        QVERIFY(QFile::exists(job.pdfPath()));
    }

    void cancelLeavesNothingBehind()
    {
        const QString pids = m_dir.filePath(QStringLiteral("pids"));
        qputenv("LECTERN_SOFFICE",
                writeScript(m_dir.path(), QStringLiteral("slow.sh"),
                            QStringLiteral("sleep 60 & echo $! > '%1'.tmp; echo $$ >> '%1'.tmp; mv '%1'.tmp '%1'; "
                                           "wait")
                                .arg(pids))
                    .toUtf8());
        WordConvertJob job(makeDocx(QStringLiteral("cancel.docx")));
        QSignalSpy finished(&job, &WordConvertJob::finished);
        QVERIFY(job.start());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pids), 10000);
        QVERIFY(QFileInfo(job.profileFolder()).isDir());
        QFile file(pids);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> started = file.readAll().split('\n');
        job.cancel();
        QCOMPARE(job.state(), WordConvertJob::State::Cancelled);
        QCOMPARE(finished.count(), 1);
        for (const QByteArray &pid : started) {
            if (!pid.trimmed().isEmpty())
                QTRY_VERIFY_WITH_TIMEOUT(!processAlive(pid.trimmed().toLongLong()), 5000);
        }
        QVERIFY(!QFileInfo::exists(job.profileFolder()));
        QVERIFY(!QFileInfo::exists(job.outputFolder()));
        QVERIFY(!QFile::exists(job.partialPath()));
    }

    void reminderBackupAndRestore()
    {
        FakeStore store;
        const QString options = wordOptionsKey(QStringLiteral("16.0"));
        store.keys[options][QStringLiteral("AlertIfNotDefault")] = 1;
        store.keys[officeKey() + QStringLiteral("/Common")] = {};
        const auto initial = store.keys;

        QString text;
        QCOMPARE(wordReminderRestoreMode(store), WordReminderRestore::Nothing);
        QVERIFY(!restoreWordReminder(store, &text));
        QCOMPARE(text, QStringLiteral("没有可恢复的 Word 设置备份"));
        QCOMPARE(store.writes, 0);

        QVERIFY(silenceWordReminder(store, &text));
        QCOMPARE(store.value(options, QStringLiteral("AlertIfNotDefault")).toInt(), 0);
        QCOMPARE(store.value(options, QStringLiteral("DoNotCheckIfWordIsDefaultApp")).toInt(), 1);
        const QString backup = store.value(lecternKey(), wordNagBackupName()).toString();
        const QJsonObject object = QJsonDocument::fromJson(backup.toUtf8()).object();
        QCOMPARE(object.size(), 2);
        QCOMPARE(object.value(QStringLiteral("16.0|AlertIfNotDefault")).toObject(),
                 QJsonObject({{"exists", true}, {"value", 1}}));
        QCOMPARE(object.value(QStringLiteral("16.0|DoNotCheckIfWordIsDefaultApp")).toObject(),
                 QJsonObject({{"exists", false}}));
        // A second silencing keeps the backup of the state before the first.
        QVERIFY(silenceWordReminder(store, &text));
        QCOMPARE(store.value(lecternKey(), wordNagBackupName()).toString(), backup);
        QCOMPARE(wordReminderRestoreMode(store), WordReminderRestore::FromBackup);

        // A store that fails keeps the backup: it is the only record.
        store.failFlush = true;
        QVERIFY(!restoreWordReminder(store, &text));
        QVERIFY(store.hasValue(lecternKey(), wordNagBackupName()));
        store.failFlush = false;
        QVERIFY(restoreWordReminder(store, &text));
        QVERIFY(text.isEmpty());
        store.keys.remove(lecternKey());
        QCOMPARE(store.keys, initial);

        // Silenced by hand, no backup: back to Word's defaults, and a store
        // that cannot write says so instead of reporting success.
        store.keys[options][QStringLiteral("AlertIfNotDefault")] = 0;
        store.keys[options][QStringLiteral("DoNotCheckIfWordIsDefaultApp")] = 1;
        QCOMPARE(wordReminderRestoreMode(store), WordReminderRestore::ToWordDefaults);
        const auto silencedByHand = store.keys;
        store.failFlush = true;
        QVERIFY(!restoreWordReminder(store, &text));
        QCOMPARE(text, QStringLiteral("无法写入 Word 的提醒设置（注册表写入失败）"));
        store.failFlush = false;
        store.keys = silencedByHand; // what the failed write left on disk
        QVERIFY(restoreWordReminder(store, &text));
        QCOMPARE(text, QStringLiteral("没有备份记录：已恢复为 Word 默认设置（会重新提醒）"));
        QCOMPARE(store.keys, initial);

        FakeStore empty;
        QVERIFY(!silenceWordReminder(empty, &text));
        QCOMPARE(text, QStringLiteral("未找到 Office 版本注册表项，无法关闭 Word 的提醒"));
    }
};

QTEST_MAIN(TestWordConvert)
#include "tst_wordconvert.moc"
