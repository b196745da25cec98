#include "platform/fileassoc.h"
#include "platform/fileassoc_xdg.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

// The open-with entry, the .dpz type and the sign-in entry, read back from
// the XDG folders of the test's sandbox.
class TestFileAssoc : public QObject
{
    Q_OBJECT
private:
    QString data() const { return Xdg::dataHome(); }
    QString entry() const { return data() + QStringLiteral("/applications/lectern.desktop"); }
    QString autostart() const { return Xdg::configHome() + QStringLiteral("/autostart/lectern.desktop"); }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void write(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    // Every file below root with its modification time and content hash.
    static QStringList snapshot(const QString &root)
    {
        QStringList lines;
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            lines << path + QLatin1Char(' ') + QString::number(it.fileInfo().lastModified().toMSecsSinceEpoch())
                    + QLatin1Char(' ')
                    + QString::fromLatin1(QCryptographicHash::hash(read(path), QCryptographicHash::Sha1).toHex());
        }
        lines.sort();
        return lines;
    }
    static QString run(const QString &tool, const QStringList &arguments, int *exitCode)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP")); // the generic, database-reading path
        process.setProcessEnvironment(env);
        process.start(tool, arguments);
        process.waitForFinished(30000);
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
    }

private slots:
    void init()
    {
        QDir(data()).removeRecursively();
        QDir(Xdg::configHome()).removeRecursively();
    }

    void registerWritesTheEntryAndType()
    {
        QString error = QStringLiteral("stale");
        QVERIFY(registerFileAssociations(&error));
        QVERIFY(error.isEmpty());
        const QByteArray content = read(entry());
        QCOMPARE(Xdg::entryValue(content, QStringLiteral("Exec")),
                 QLatin1Char('"') + QCoreApplication::applicationFilePath() + QStringLiteral("\" %f"));
        const QStringList types = Xdg::entryValue(content, QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QCOMPARE(types, QStringList({"application/pdf", "application/x-lectern-dpz",
                                     "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
                                     "application/msword"}));
        QVERIFY(read(data() + QStringLiteral("/mime/packages/lectern-dpz.xml")).contains("<glob pattern=\"*.dpz\"/>"));

        // Twice: not one byte or time stamp moves, databases included.
        const QStringList before = snapshot(data());
        QTest::qWait(20);
        QVERIFY(registerFileAssociations(&error));
        QCOMPARE(snapshot(data()), before);

        // Never a default behind the user's back.
        QVERIFY(!QFileInfo::exists(Xdg::configHome() + QStringLiteral("/mimeapps.list")));
        QVERIFY(!QFileInfo::exists(data() + QStringLiteral("/applications/mimeapps.list")));

        QVERIFY(unregisterFileAssociations(&error));
        QVERIFY(!QFileInfo::exists(entry()));
        QVERIFY(!QFileInfo::exists(data() + QStringLiteral("/mime/packages/lectern-dpz.xml")));
        QVERIFY(!read(data() + QStringLiteral("/mime/globs2")).contains("lectern"));
    }

    void desktopToolsAcceptIt()
    {
        const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        if (validate.isEmpty() || xdgMime.isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty())
            QSKIP("desktop-file-utils, xdg-utils or shared-mime-info not installed");
        QVERIFY(registerFileAssociations());
        QVERIFY(setAutoStart(true));
        int code = 0;
        QString out = run(validate, {entry(), autostart()}, &code);
        QVERIFY2(code == 0 && !out.contains(QStringLiteral("error")), qPrintable(out));
        const QString lesson = QDir::tempPath() + QStringLiteral("/lesson.dpz");
        write(lesson, QByteArray("PK\x03\x04", 4) + QByteArray(60, '\0'));
        out = run(xdgMime, {QStringLiteral("query"), QStringLiteral("filetype"), lesson}, &code);
        QCOMPARE(out, QStringLiteral("application/x-lectern-dpz"));
        out = run(QStandardPaths::findExecutable(QStringLiteral("grep")),
                  {QStringLiteral("application/x-lectern-dpz=lectern.desktop"),
                   data() + QStringLiteral("/applications/mimeinfo.cache")}, &code);
        QCOMPARE(code, 0);
    }

    void foreignEntryIsNotTakenOver()
    {
        const QByteArray theirs = "[Desktop Entry]\nType=Application\nName=Other\nExec=other %f\n";
        write(entry(), theirs);
        QString error;
        QVERIFY(!registerFileAssociations(&error));
        QVERIFY2(error.endsWith(QStringLiteral("已由其他程序写入，未覆盖")), qPrintable(error));
        QCOMPARE(read(entry()), theirs);
        QCOMPARE(foreignAssociationFiles(), QStringList{QDir::toNativeSeparators(entry())});
        QVERIFY(unregisterFileAssociations(&error));
        QCOMPARE(read(entry()), theirs);
        // Once the user agrees.
        QVERIFY(registerFileAssociations(&error, ForeignFiles::Replace));
        QVERIFY(Xdg::isOurEntry(read(entry())));
        QVERIFY(foreignAssociationFiles().isEmpty());
    }

    void autostartFollowsThisCopy()
    {
        QVERIFY(!isAutoStartEnabled());
        QString error = QStringLiteral("stale");
        QVERIFY(setAutoStart(false, &error)); // off when already off
        QVERIFY(setAutoStart(true, &error));
        QVERIFY(error.isEmpty());
        QVERIFY(isAutoStartEnabled());
        QCOMPARE(Xdg::entryValue(read(autostart()), QStringLiteral("Exec")),
                 QLatin1Char('"') + QCoreApplication::applicationFilePath() + QLatin1Char('"'));

        // The program moved: the entry starts another copy, so it is off.
        QByteArray moved = read(autostart());
        moved.replace("tst_fileassoc\"", "tst_fileassoc-old\"");
        write(autostart(), moved);
        QVERIFY(!isAutoStartEnabled());
        QVERIFY(setAutoStart(true, &error));
        QVERIFY(isAutoStartEnabled());
        QVERIFY(setAutoStart(false, &error));
        QVERIFY(!QFileInfo::exists(autostart()));

        // Someone else's sign-in entry of that name stays untouched.
        const QByteArray theirs = "[Desktop Entry]\nType=Application\nName=Mine\nExec=/usr/bin/true\n";
        write(autostart(), theirs);
        QVERIFY(!setAutoStart(true, &error));
        QVERIFY(setAutoStart(false, &error));
        QCOMPARE(read(autostart()), theirs);
    }

    void homeWithAFileWhereFoldersBelong()
    {
        const QString home = QDir::tempPath() + QStringLiteral("/brokenhome");
        write(home + QStringLiteral("/.local/share"), "not a folder");
        write(home + QStringLiteral("/.config"), "not a folder");
        const QByteArray oldHome = qgetenv("HOME"), oldData = qgetenv("XDG_DATA_HOME"),
                         oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", home.toUtf8());
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
        QString registerError, autostartError;
        const bool registered = registerFileAssociations(&registerError);
        const bool started = setAutoStart(true, &autostartError);
        qputenv("HOME", oldHome);
        qputenv("XDG_DATA_HOME", oldData);
        qputenv("XDG_CONFIG_HOME", oldConfig);
        QVERIFY(!registered);
        QCOMPARE(registerError, QStringLiteral("无法写入文件关联（%1/.local/share/mime/packages/lectern-dpz.xml）").arg(home));
        QVERIFY(!started);
        QCOMPARE(autostartError, QStringLiteral("无法写入自启动项（%1/.config/autostart/lectern.desktop）").arg(home));
        QCOMPARE(read(home + QStringLiteral("/.local/share")), QByteArray("not a folder"));
    }
};

QTEST_GUILESS_MAIN(TestFileAssoc)
#include "tst_fileassoc.moc"
