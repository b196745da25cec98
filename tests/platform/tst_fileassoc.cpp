#include "platform/defaulthandler.h"
#include "platform/fileassoc.h"
#include "platform/fileassoc_xdg.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QScopeGuard>
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
        QCOMPARE(types.mid(0, 4), QStringList({"application/pdf", "application/x-lectern-dpz",
                                               "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
                                               "application/msword"}));
        // "Open with" offers it for decks and other documents too.
        for (const char *type : {"application/vnd.openxmlformats-officedocument.presentationml.presentation",
                                 "application/vnd.ms-powerpoint", "application/vnd.oasis.opendocument.presentation",
                                 "application/vnd.oasis.opendocument.text", "application/rtf"})
            QVERIFY2(types.contains(QLatin1String(type)), type);
        QVERIFY(read(data() + QStringLiteral("/mime/packages/lectern-dpz.xml")).contains("<glob pattern=\"*.dpz\"/>"));

        // Twice: not one byte or time stamp moves, databases included.
        const QStringList before = snapshot(data());
        QTest::qWait(20);
        QVERIFY(registerFileAssociations(&error));
        QCOMPARE(snapshot(data()), before);

        // Never a default behind the user's back.
        QVERIFY(!QFileInfo::exists(Xdg::configHome() + QStringLiteral("/mimeapps.list")));
        QVERIFY(!QFileInfo::exists(data() + QStringLiteral("/applications/mimeapps.list")));

        // The entry names the program's icon, which a copy that was not
        // installed brings along into the user's icon theme.
        QCOMPARE(Xdg::entryValue(content, QStringLiteral("Icon")), QStringLiteral("lectern"));
        const QImage icon(data() + QStringLiteral("/icons/hicolor/256x256/apps/lectern.png"));
        QCOMPARE(icon.size(), QSize(256, 256));

        QVERIFY(unregisterFileAssociations(&error));
        QVERIFY(!QFileInfo::exists(entry()));
        QVERIFY(!QFileInfo::exists(data() + QStringLiteral("/icons/hicolor/256x256/apps/lectern.png")));
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

    // Another PDF viewer is installed system-wide and nothing pinned it: the
    // desktop merely picks it. Registering must leave that answer as it was
    // (by pinning it for the user), while a type nobody opened may fall to
    // us. And the hand-over tells which program a file would go to.
    void otherProgramsKeepTheirDefaults()
    {
        const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        const QString updateDesktop = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
        if (xdgMime.isEmpty() || updateDesktop.isEmpty())
            QSKIP("xdg-utils or desktop-file-utils not installed");
        const QString system = QDir::tempPath() + QStringLiteral("/xdg-system");
        QDir(system).removeRecursively();
        write(system + QStringLiteral("/share/applications/otherpdf.desktop"),
              "[Desktop Entry]\nType=Application\nName=Other PDF\nExec=cat %f\nMimeType=application/pdf;\n");
        const QString pptx = QStringLiteral("application/vnd.openxmlformats-officedocument.presentationml.presentation");
        write(system + QStringLiteral("/share/applications/otherslides.desktop"),
              "[Desktop Entry]\nType=Application\nName=Other Slides\nExec=cat %f\nMimeType=" + pptx.toUtf8() + ";\n");
        QDir().mkpath(system + QStringLiteral("/etc"));
        int code = 0;
        run(updateDesktop, {system + QStringLiteral("/share/applications")}, &code);
        QCOMPARE(code, 0);
        const QByteArray dataDirs = qgetenv("XDG_DATA_DIRS"), configDirs = qgetenv("XDG_CONFIG_DIRS");
        // The system's own folder stays behind ours, for its MIME database.
        qputenv("XDG_DATA_DIRS", QFile::encodeName(system + QStringLiteral("/share:/usr/share")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(system + QStringLiteral("/etc")));
        auto restore = qScopeGuard([=] {
            for (const auto &[name, value] :
                 {std::pair{"XDG_DATA_DIRS", dataDirs}, std::pair{"XDG_CONFIG_DIRS", configDirs}}) {
                if (value.isNull())
                    qunsetenv(name);
                else
                    qputenv(name, value);
            }
        });
        const QString docx = QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document");
        const auto defaultFor = [&](const QString &type) {
            return run(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type}, &code);
        };
        QCOMPARE(defaultFor(QStringLiteral("application/pdf")), QStringLiteral("otherpdf.desktop"));
        const QString docxBefore = defaultFor(docx);
        QCOMPARE(defaultFor(pptx), QStringLiteral("otherslides.desktop"));

        QString error;
        QVERIFY2(registerFileAssociations(&error), qPrintable(error));
        QCOMPARE(defaultFor(QStringLiteral("application/pdf")), QStringLiteral("otherpdf.desktop"));
        QCOMPARE(defaultFor(docx), docxBefore.isEmpty() ? QStringLiteral("lectern.desktop") : docxBefore);
        QCOMPARE(defaultFor(pptx), QStringLiteral("otherslides.desktop"));
        const QString userList = Xdg::configHome() + QStringLiteral("/mimeapps.list");
        QVERIFY(read(userList).contains("\napplication/pdf=otherpdf.desktop;\n"));

        // Where each file would go when handed over.
        const QString lesson = QDir::tempPath() + QStringLiteral("/lesson.pdf");
        write(lesson, "%PDF-1.4\n%%EOF\n");
        const FileHandler pdfHandler = defaultHandlerFor(lesson);
        QCOMPARE(pdfHandler.entry, QStringLiteral("otherpdf.desktop"));
        QCOMPARE(pdfHandler.name, QStringLiteral("Other PDF"));
        QVERIFY(!pdfHandler.isThisProgram);
        QVERIFY(entryStartsThisProgram(QStringLiteral("lectern.desktop")));

        // Twice: nothing moves.
        const QStringList before = snapshot(Xdg::configHome()) + snapshot(data());
        QTest::qWait(20);
        QVERIFY(registerFileAssociations(&error));
        QCOMPARE(snapshot(Xdg::configHome()) + snapshot(data()), before);

        // A pin already in place (here the system's) keeps the default by
        // itself: nothing is added for the user.
        QVERIFY(unregisterFileAssociations(&error));
        QVERIFY(QFile::remove(userList));
        write(system + QStringLiteral("/etc/mimeapps.list"),
              "[Default Applications]\napplication/pdf=otherpdf.desktop;\n" + pptx.toUtf8() + "=otherslides.desktop;\n");
        QVERIFY(registerFileAssociations(&error));
        QVERIFY(!QFileInfo::exists(userList));
        QCOMPARE(defaultFor(QStringLiteral("application/pdf")), QStringLiteral("otherpdf.desktop"));
    }

    // The user's own list keeps every line it had; the pin joins its group.
    void pinKeepsTheUsersList()
    {
        const QString userList = Xdg::configHome() + QStringLiteral("/mimeapps.list");
        write(userList, "[Added Associations]\ntext/plain=vim.desktop;\n\n[Default Applications]\n"
                        "image/png=viewer.desktop;\napplication/pdf=gone.desktop;\n\n[Removed Associations]\n");
        QString error;
        QVERIFY(pinDefault(QStringLiteral("application/pdf"), QStringLiteral("otherpdf.desktop"), &error));
        QVERIFY(pinDefault(QStringLiteral("application/msword"), QStringLiteral("writer.desktop"), &error));
        QCOMPARE(read(userList),
                 QByteArray("[Added Associations]\ntext/plain=vim.desktop;\n\n[Default Applications]\n"
                            "image/png=viewer.desktop;\napplication/pdf=otherpdf.desktop;gone.desktop;\n"
                            "application/msword=writer.desktop;\n\n[Removed Associations]\n"));
    }

    // The package installed the program for every user: registering adds no
    // second menu entry and takes back the one it wrote before.
    void systemInstallIsNotRegisteredTwice()
    {
        QVERIFY(registerFileAssociations());
        QVERIFY(QFileInfo::exists(entry()));
        QTemporaryDir system;
        const QString installed = system.filePath(QStringLiteral("applications/io.github.lectern.Lectern.desktop"));
        write(installed, "[Desktop Entry]\nType=Application\nName=青简批注\nExec=lectern %f\n");
        const QByteArray kept = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", system.path().toLocal8Bit() + ":/usr/share");
        auto restore = qScopeGuard([&] { qputenv("XDG_DATA_DIRS", kept); });
        QCOMPARE(systemDesktopEntry(), installed);
        QString error = QStringLiteral("stale");
        QVERIFY(registerFileAssociations(&error));
        QVERIFY(error.isEmpty());
        QVERIFY(!QFileInfo::exists(entry()));
        QVERIFY(!QFileInfo::exists(data() + QStringLiteral("/mime/packages/lectern-dpz.xml")));
        // Someone else's file of our name is no concern of a system install.
        write(entry(), "[Desktop Entry]\nType=Application\nName=Other\nExec=other %f\n");
        QVERIFY(foreignAssociationFiles().isEmpty());
        QVERIFY(registerFileAssociations(&error));
        QVERIFY(read(entry()).contains("Name=Other"));
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
