#include "system/settings.h"
#include "system/settingsstore.h"
#include "system/temppath.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

// The settings store against a real INI file: defaults, hand-edited values,
// clamping, the recent list and write failures of the store itself.
namespace {

struct IntValue
{
    const char *key;
    int max;
    std::function<int()> get;
    std::function<bool(int, QString *)> set;
    const char *failure;
};

const QList<IntValue> &intValues()
{
    static const QList<IntValue> values = {
        { "ThemeMode", 2, themeMode, setThemeMode, "无法写入设置文件（外观设置）" },
        { "ThemePreset", 7, themePreset, setThemePreset, "无法写入设置文件（主题色）" },
        { "ThemeStyle", 3, themeStyle, setThemeStyle, "无法写入设置文件（调色板风格）" },
        { "ToolbarStyle", 1, toolbarStyle, setToolbarStyle, "无法写入设置文件（工具栏风格）" },
        { "WordOpenMode", 2, wordOpenMode, setWordOpenMode, "无法写入设置文件（Word 文档打开方式）" },
        { "WordConvertEngine", 2, wordConvertEngine, setWordConvertEngine,
          "无法写入设置文件（Word 转换引擎）" },
    };
    return values;
}

struct BoolValue
{
    const char *key;
    bool fallback;
    std::function<bool()> get;
    std::function<bool(bool, QString *)> set;
    const char *failure;
};

const QList<BoolValue> &boolValues()
{
    static const QList<BoolValue> values = {
        { "WordNagFix", true, wordNagFix, setWordNagFix, "无法写入设置文件（Word 提醒设置）" },
        { "PalmEraser", false, palmEraser, setPalmEraser, "无法写入设置文件（手掌擦除设置）" },
        { "ReduceMotion", false, reduceMotionSetting, setReduceMotionSetting, "无法写入设置文件（减少动效）" },
        { "DebugLog", false, debugLogSetting, setDebugLogSetting, "无法写入设置文件（调试日志设置）" },
    };
    return values;
}

QString storeFile() { return openSettingsStore()->fileName(); }

// Replaces the store with text as a user editing the file by hand would.
void writeStoreText(const QByteArray &text)
{
    QFile file(storeFile());
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\n" + text + "\n");
}

QVariant rawValue(const QString &key) { return openSettingsStore()->value(key); }

QByteArray storeBytes()
{
    QFile file(storeFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
        QFile::remove(storeFile());
    }

    void storeIsTheUsersConfigFile()
    {
        QCOMPARE(storeFile(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                  + QStringLiteral("/Lectern/Lectern.conf"));
    }

    void freshUserDefaults()
    {
        QCOMPARE(themeMode(), 0);
        QCOMPARE(themePreset(), 0);
        QCOMPARE(themeStyle(), 0);
        QCOMPARE(toolbarStyle(), 0);
        QCOMPARE(wordOpenMode(), 0);
        QCOMPARE(wordConvertEngine(), 0);
        QCOMPARE(wordNagFix(), true);
        QCOMPARE(reduceMotionSetting(), false);
        QCOMPARE(palmEraser(), false);
        QCOMPARE(debugLogSetting(), false);
        QCOMPARE(defaultSavePath(), QString());
        QCOMPARE(libreOfficePath(), QString());
        QCOMPARE(readRecentFiles(), QStringList());
    }

    void handWrittenIntegers_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("expected");
        for (int i = 0; i < intValues().size(); ++i) {
            const IntValue &v = intValues().at(i);
            const QByteArray max = QByteArray::number(v.max);
            QTest::addRow("%s maximum", v.key) << i << max << v.max;
            QTest::addRow("%s one above maximum", v.key) << i << QByteArray::number(v.max + 1) << 0;
            QTest::addRow("%s negative", v.key) << i << QByteArray("-1") << 0;
        }
        QTest::newRow("ThemeMode 5") << 0 << QByteArray("5") << 0;
        QTest::newRow("ThemeMode 1") << 0 << QByteArray("1") << 1;
        QTest::newRow("text") << 0 << QByteArray("dark") << 0;
        QTest::newRow("fraction") << 0 << QByteArray("1.5") << 0;
        QTest::newRow("huge number") << 0 << QByteArray("99999999999999999999999") << 0;
        QTest::newRow("beyond int range") << 1 << QByteArray("4294967297") << 0;
        QTest::newRow("list") << 0 << QByteArray("1, 2") << 0;
        QTest::newRow("empty") << 0 << QByteArray("") << 0;
    }

    void handWrittenIntegers()
    {
        QFETCH(int, value);
        QFETCH(QByteArray, stored);
        QFETCH(int, expected);
        const IntValue &v = intValues().at(value);
        writeStoreText(QByteArray(v.key) + '=' + stored);
        QCOMPARE(v.get(), expected);
    }

    void integerSettersClamp_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("argument");
        QTest::addColumn<int>("stored");
        for (int i = 0; i < intValues().size(); ++i) {
            const IntValue &v = intValues().at(i);
            QTest::addRow("%s in range", v.key) << i << v.max << v.max;
            QTest::addRow("%s above", v.key) << i << v.max + 3 << v.max;
            QTest::addRow("%s below", v.key) << i << -1 << 0;
        }
        QTest::newRow("ThemeMode 5 stores 2") << 0 << 5 << 2;
        QTest::newRow("ThemeMode INT_MIN stores 0") << 0 << std::numeric_limits<int>::min() << 0;
    }

    void integerSettersClamp()
    {
        QFETCH(int, value);
        QFETCH(int, argument);
        QFETCH(int, stored);
        const IntValue &v = intValues().at(value);
        QString error = QStringLiteral("stale");
        QVERIFY(v.set(argument, &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(rawValue(QString::fromLatin1(v.key)).toInt(), stored);
        QCOMPARE(v.get(), stored);
    }

    void booleans_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("useDefault");
        QTest::addColumn<bool>("expected");
        for (int i = 0; i < boolValues().size(); ++i) {
            const char *key = boolValues().at(i).key;
            QTest::addRow("%s true", key) << i << QByteArray("true") << false << true;
            QTest::addRow("%s false", key) << i << QByteArray("false") << false << false;
            QTest::addRow("%s garbage", key) << i << QByteArray("maybe") << true << false;
            QTest::addRow("%s number", key) << i << QByteArray("17") << true << false;
        }
    }

    void booleans()
    {
        QFETCH(int, value);
        QFETCH(QByteArray, stored);
        QFETCH(bool, useDefault);
        QFETCH(bool, expected);
        const BoolValue &v = boolValues().at(value);
        writeStoreText(QByteArray(v.key) + '=' + stored);
        QCOMPARE(v.get(), useDefault ? v.fallback : expected);
        // The setter stores exactly what it is handed, either way round.
        QVERIFY(v.set(!v.fallback, nullptr));
        QCOMPARE(v.get(), !v.fallback);
        QVERIFY(v.set(v.fallback, nullptr));
        QCOMPARE(v.get(), v.fallback);
    }

    void savePathTrimming_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("read");
        QTest::addColumn<bool>("removed");
        QTest::newRow("blanks only") << QStringLiteral("   \t ") << QString() << true;
        QTest::newRow("empty") << QString() << QString() << true;
        QTest::newRow("trimmed") << QStringLiteral("  /home/老师/课件  ") << QStringLiteral("/home/老师/课件") << false;
        QTest::newRow("comma in name") << QStringLiteral("/srv/a, b") << QStringLiteral("/srv/a, b") << false;
    }

    void savePathTrimming()
    {
        QFETCH(QString, argument);
        QFETCH(QString, read);
        QFETCH(bool, removed);
        QVERIFY(setDefaultSavePath(QStringLiteral("/old"), nullptr));
        QString error = QStringLiteral("stale");
        QVERIFY(setDefaultSavePath(argument, &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(::defaultSavePath(), read);
        QCOMPARE(openSettingsStore()->contains(QStringLiteral("DefaultSavePath")), !removed);
    }

    void handWrittenBlankSavePathReadsEmpty()
    {
        writeStoreText("DefaultSavePath=\"    \"");
        QCOMPARE(::defaultSavePath(), QString());
    }

    void libreOfficePathIsKeptAsStored()
    {
        QVERIFY(setLibreOfficePath(QStringLiteral("/opt/libreoffice/program/soffice"), nullptr));
        QCOMPARE(libreOfficePath(), QStringLiteral("/opt/libreoffice/program/soffice"));
        writeStoreText("LibreOfficePath=\" /usr/bin/soffice \"");
        QCOMPARE(libreOfficePath(), QStringLiteral(" /usr/bin/soffice "));
        QVERIFY(setLibreOfficePath(QString(), nullptr));
        QVERIFY(!openSettingsStore()->contains(QStringLiteral("LibreOfficePath")));
    }

    void recentSequences_data()
    {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("A then B") << QStringList{ "/d/A.pdf", "/d/B.pdf" } << QStringList{ "/d/B.pdf", "/d/A.pdf" };
        QTest::newRow("A, B, A again")
            << QStringList{ "/d/A.pdf", "/d/B.pdf", "/d/A.pdf" } << QStringList{ "/d/A.pdf", "/d/B.pdf" };
        QTest::newRow("last letter case wins")
            << QStringList{ "/d/Lesson.pdf", "/d/B.pdf", "/D/LESSON.PDF" }
            << QStringList{ "/D/LESSON.PDF", "/d/B.pdf" };
        QTest::newRow("trimmed") << QStringList{ "  /d/A.pdf  " } << QStringList{ "/d/A.pdf" };
        QTest::newRow("empty changes nothing") << QStringList{ "/d/A.pdf", "   " } << QStringList{ "/d/A.pdf" };
        QStringList ten;
        for (int i = 1; i <= 10; ++i)
            ten << QStringLiteral("/课件/P%1.pdf").arg(i);
        QStringList kept;
        for (int i = 10; i >= 3; --i)
            kept << QStringLiteral("/课件/P%1.pdf").arg(i);
        QTest::newRow("ten paths keep eight") << ten << kept;
    }

    void recentSequences()
    {
        QFETCH(QStringList, added);
        QFETCH(QStringList, expected);
        for (const QString &path : added) {
            QString error = QStringLiteral("stale");
            QVERIFY(addRecentFile(path, &error));
            QVERIFY(error.isEmpty());
        }
        QCOMPARE(readRecentFiles(), expected);
    }

    void temporaryPathRefused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("working copy") << QDir::tempPath() + QStringLiteral("/lectern/work-0123.dpz");
        QTest::newRow("other program's temp file") << QDir::tempPath() + QStringLiteral("/x/y.pdf");
        QTest::newRow("the folder itself") << QDir::tempPath();
        QTest::newRow("other letter case") << QDir::tempPath().toUpper() + QStringLiteral("/A.PDF");
    }

    void temporaryPathRefused()
    {
        QFETCH(QString, path);
        QVERIFY(addRecentFile(QStringLiteral("/d/A.pdf"), nullptr));
        const QByteArray before = storeBytes();
        QString error;
        QVERIFY(!addRecentFile(path, &error));
        QCOMPARE(error, QStringLiteral("临时文件不会加入最近项目"));
        QCOMPARE(storeBytes(), before);
        QCOMPARE(readRecentFiles(), QStringList{ QStringLiteral("/d/A.pdf") });
    }

    void tempFolderRule_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("temporary");
        QTest::newRow("inside") << "/tmp/a.pdf" << "/tmp" << true;
        QTest::newRow("root itself") << "/tmp" << "/tmp" << true;
        QTest::newRow("root with trailing slashes") << "/tmp/a.pdf" << "/tmp//" << true;
        QTest::newRow("letter case") << "/TMP/Sub/a.pdf" << "/tmp" << true;
        QTest::newRow("sibling with same prefix") << "/tmpfiles/a.pdf" << "/tmp" << false;
        QTest::newRow("climbs out") << "/tmp/../home/a.pdf" << "/tmp" << false;
        QTest::newRow("ordinary") << "/home/teacher/a.pdf" << "/tmp" << false;
        QTest::newRow("empty") << "" << "/tmp" << false;
    }

    void tempFolderRule()
    {
        QFETCH(QString, path);
        QFETCH(QString, root);
        QFETCH(bool, temporary);
        QCOMPARE(pathIsUnderTempFolder(path, root), temporary);
    }

    void removeAndClear()
    {
        for (const char *p : { "/d/1.pdf", "/d/2.pdf", "/d/3.pdf" })
            QVERIFY(addRecentFile(QString::fromLatin1(p), nullptr));
        QVERIFY(removeRecentFile(QStringLiteral("  /D/2.PDF "), nullptr));
        QCOMPARE(readRecentFiles(), (QStringList{ "/d/3.pdf", "/d/1.pdf" }));
        QVERIFY(removeRecentFile(QStringLiteral("/d/absent.pdf"), nullptr));
        QCOMPARE(readRecentFiles(), (QStringList{ "/d/3.pdf", "/d/1.pdf" }));
        QString error = QStringLiteral("stale");
        QVERIFY(clearRecentFiles(&error));
        QVERIFY(error.isEmpty());
        QVERIFY(!openSettingsStore()->contains(QStringLiteral("RecentFiles")));
        QCOMPARE(readRecentFiles(), QStringList());
    }

    void handWrittenRecentFiles_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("single string") << QByteArray("RecentFiles=/d/only.pdf") << QStringList{ "/d/only.pdf" };
        QTest::newRow("blanks, case duplicates")
            << QByteArray("RecentFiles=\" /d/A.pdf \", \"  \", /D/a.PDF, /d/B.pdf")
            << QStringList{ "/d/A.pdf", "/d/B.pdf" };
        QTest::newRow("not a list") << QByteArray("RecentFiles=@Rect(1 2 3 4)") << QStringList();
        QTest::newRow("empty") << QByteArray("RecentFiles=") << QStringList();
    }

    void handWrittenRecentFiles()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, expected);
        writeStoreText(stored);
        QCOMPARE(readRecentFiles(), expected);
    }

    // A file Qt cannot parse at all: the first setter both stores its value
    // and says so, and the rest reads as defaults.
    void damagedFileReadsDefaultsAndHeals()
    {
        QFile file(storeFile());
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray("\x00\x01\xff\xfe[General\nThemeMode\n===\n\"unterminated\n", 40));
        file.close();
        // The setter comes first: the damage shows only to the first reader of the file.
        QString error = QStringLiteral("stale");
        QVERIFY(setThemeMode(2, &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(themeMode(), 2);
        QCOMPARE(wordNagFix(), true);
        QVERIFY(addRecentFile(QStringLiteral("/d/A.pdf"), &error));
        QCOMPARE(readRecentFiles(), QStringList{ QStringLiteral("/d/A.pdf") });
    }

    void thousandsOfRecentFiles()
    {
        QByteArray line("RecentFiles=");
        for (int i = 0; i < 5000; ++i)
            line += (i ? ", /d/f" : "/d/f") + QByteArray::number(i % 2500) + ".pdf";
        writeStoreText(line);
        QCOMPARE(readRecentFiles().size(), 2500); // no cap on reading, duplicates gone
        QVERIFY(addRecentFile(QStringLiteral("/d/new.pdf"), nullptr));
        const QStringList list = readRecentFiles();
        QCOMPARE(list.size(), 8);
        QCOMPARE(list.first(), QStringLiteral("/d/new.pdf"));
        QCOMPARE(list.at(1), QStringLiteral("/d/f0.pdf"));
    }

    // As root nothing is read-only: the store's folder lies under a regular file.
    void writeFailures_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("message");
        for (int i = 0; i < intValues().size(); ++i)
            QTest::addRow("%s", intValues().at(i).key) << i << QString::fromUtf8(intValues().at(i).failure);
        for (int i = 0; i < boolValues().size(); ++i)
            QTest::addRow("%s", boolValues().at(i).key) << 100 + i << QString::fromUtf8(boolValues().at(i).failure);
        QTest::newRow("DefaultSavePath") << 200 << QStringLiteral("无法写入设置文件（默认保存路径）");
        QTest::newRow("LibreOfficePath") << 201 << QStringLiteral("无法写入设置文件（LibreOffice 路径）");
        QTest::newRow("addRecentFile") << 202 << QStringLiteral("无法写入设置文件（最近项目）");
        // Removing or clearing in a store that cannot hold a list changes
        // nothing and rightly succeeds, so only adding can show the failure.
    }

    void writeFailures()
    {
        QFETCH(int, which);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("blocker"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker + QStringLiteral("/config"));

        QString error;
        bool ok = true;
        if (which < 100)
            ok = intValues().at(which).set(1, &error);
        else if (which < 200)
            ok = boolValues().at(which - 100).set(!boolValues().at(which - 100).fallback, &error);
        else if (which == 200)
            ok = setDefaultSavePath(QStringLiteral("/home/teacher"), &error);
        else if (which == 201)
            ok = setLibreOfficePath(QStringLiteral("/usr/bin/soffice"), &error);
        else
            ok = addRecentFile(QStringLiteral("/d/A.pdf"), &error);
        QVERIFY(!ok);
        QCOMPARE(error, message);

        // Reads never fail: everything is its default.
        QCOMPARE(themeMode(), 0);
        QCOMPARE(wordNagFix(), true);
        QCOMPARE(palmEraser(), false);
        QCOMPARE(::defaultSavePath(), QString());
        QCOMPARE(readRecentFiles(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
