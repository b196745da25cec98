#include "app/documentwriter.h"
#include "files/package.h"
#include "files/workingcopy.h"
#include "ink/annotationjson.h"
#include "platform/userfolders.h"
#include "system/temppath.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// Working copies: the path rule, the fingerprint and its comparison, the
// restore gate, extracted package PDFs, the start-up sweep and the rule that
// keeps temporary files out of the recent list.
namespace {

QJsonObject inkWith(int strokes)
{
    QJsonArray list;
    for (int i = 0; i < strokes; ++i)
        list.append(QJsonObject{ { QStringLiteral("c"), QStringLiteral("#2e7d32") },
                                 { QStringLiteral("w"), 0.003 },
                                 { QStringLiteral("p"), QJsonArray{ 0.1 * i, 0.2, 0.3, 0.4 } } });
    return QJsonObject{ { QStringLiteral("version"), 1 },
                        { QStringLiteral("pages"), QJsonObject{ { QStringLiteral("0"), list } } } };
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool setModified(const QString &path, const QDateTime &when)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

ino_t inodeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

QString sha1Hex(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QByteArray pdfBytes(char fill, int size = 100000)
{
    return QByteArray("%PDF-1.4\n") + QByteArray(size, fill);
}

} // namespace

class TestWorkingCopy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void workingCopyPathRule();
    void fingerprintOfFiles();
    void sameSource_data();
    void sameSource();
    void fingerprintNoticesChanges();
    void restoreGate();
    void writesCostTheInkNotThePdf();
    void unreadableWorkingCopyIsOnlyLogged();
    void damagedWorkingCopyIsKeptNotRestored();
    void discardedWorkingCopyIsGone();
    void extractedPdfIsReusedOnlyWhenIdentical();
    void onlyAnExtractedPdfIsRestored();
    void extractionFailureIsReported_data();
    void extractionFailureIsReported();
    void isTemporaryPath_data();
    void isTemporaryPath();
    void sweepRemovesOnlyOldFiles();
    void sweepNeverTakesAWorkingCopy();
    void legacyWorkingCopiesMoveOver();

private:
    QTemporaryDir m_tmp;
};

void TestWorkingCopy::initTestCase()
{
    // The cases wipe the program's folders: give them their own even when
    // the test runs outside its sandbox.
    QVERIFY(m_tmp.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_tmp.filePath(QStringLiteral("cache"))));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_tmp.filePath(QStringLiteral("state"))));
    QCOMPARE(QDir::tempPath(), QDir(m_tmp.path()).canonicalPath());
}

void TestWorkingCopy::init()
{
    // Each case starts with empty program folders.
    QDir(tempFolder()).removeRecursively();
    QDir(workingCopyFolder()).removeRecursively();
    QDir(legacyTempFolder()).removeRecursively();
}

void TestWorkingCopy::workingCopyPathRule()
{
    const QString a = QStringLiteral("/home/teacher/课件/第一课.pdf");
    const QString b = QStringLiteral("/home/teacher/课件/第二课.pdf");
    QCOMPARE(workingCopyPath(a), workingCopyPath(a));
    QVERIFY(workingCopyPath(a) != workingCopyPath(b));
    QVERIFY(workingCopyPath(a).endsWith(QStringLiteral(".dpz")));
    QVERIFY(workingCopyPath(a).contains(QStringLiteral("/lectern/work-")));
    QVERIFY(::isTemporaryPath(workingCopyPath(a)));
    // Recovery data in the state folder, kept across reboots; what can be
    // made again in the cache; neither below the system temp folder.
    QCOMPARE(workingCopyPath(a), m_tmp.filePath(QStringLiteral("state/lectern/work-")) + sha1Hex(a) + QStringLiteral(".dpz"));
    // Two spellings of one file are two keys: nothing is made canonical.
    QVERIFY(workingCopyPath(QStringLiteral("/home/teacher/./a.pdf")) != workingCopyPath(QStringLiteral("/home/teacher/a.pdf")));
    QCOMPARE(extractedPdfPath(a), m_tmp.filePath(QStringLiteral("cache/lectern/")) + sha1Hex(a) + QStringLiteral(".pdf"));
}

void TestWorkingCopy::fingerprintOfFiles()
{
    QTemporaryDir dir;
    QVERIFY(sourceFingerprint(dir.filePath(QStringLiteral("missing.pdf"))).isEmpty());
    QVERIFY(sourceFingerprint(dir.path()).isEmpty());
    QVERIFY(sourceFingerprint(QString()).isEmpty());

    const QString path = dir.filePath(QStringLiteral("讲义.pdf"));
    const QByteArray content = pdfBytes('a', 70000);
    QVERIFY(writeFile(path, content));
    const QJsonObject fp = sourceFingerprint(path);
    QCOMPARE(fp.value(QStringLiteral("path")).toString(), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    QCOMPARE(fp.value(QStringLiteral("size")).toDouble(), double(content.size()));
    QCOMPARE(qint64(fp.value(QStringLiteral("mtimeMs")).toDouble()), QFileInfo(path).lastModified().toMSecsSinceEpoch());
    const QString head = fp.value(QStringLiteral("head")).toString();
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$")).match(head).hasMatch());
    QCOMPARE(head, QString::fromLatin1(QCryptographicHash::hash(content.left(65536), QCryptographicHash::Sha1).toHex()));
    QVERIFY(::sameSource(fp, fp));
    QVERIFY(::sameSource(fp, sourceFingerprint(path)));
}

void TestWorkingCopy::sameSource_data()
{
    QTest::addColumn<QJsonObject>("a");
    QTest::addColumn<QJsonObject>("b");
    QTest::addColumn<bool>("same");
    const QJsonObject fp{ { QStringLiteral("path"), QStringLiteral("/a/b.pdf") },
                          { QStringLiteral("size"), 1000 },
                          { QStringLiteral("mtimeMs"), 1700000000123.0 },
                          { QStringLiteral("head"), QString(40, QLatin1Char('a')) } };
    auto with = [&fp](const QString &key, const QJsonValue &v) {
        QJsonObject o = fp;
        if (v.isUndefined())
            o.remove(key);
        else
            o.insert(key, v);
        return o;
    };
    QTest::newRow("identical") << fp << fp << true;
    QTest::newRow("two empty objects") << QJsonObject() << QJsonObject() << false;
    QTest::newRow("one empty") << fp << QJsonObject() << false;
    QTest::newRow("path letter case") << fp << with(QStringLiteral("path"), QStringLiteral("/A/b.pdf")) << false;
    QTest::newRow("size") << fp << with(QStringLiteral("size"), 1001) << false;
    QTest::newRow("mtime") << fp << with(QStringLiteral("mtimeMs"), 1700000000124.0) << false;
    QTest::newRow("head") << fp << with(QStringLiteral("head"), QString(40, QLatin1Char('b'))) << false;
    QTest::newRow("size as string") << with(QStringLiteral("size"), QStringLiteral("1000"))
                                    << with(QStringLiteral("size"), QStringLiteral("1000")) << false;
    QTest::newRow("head missing in both") << with(QStringLiteral("head"), QJsonValue::Undefined)
                                          << with(QStringLiteral("head"), QJsonValue::Undefined) << false;
    QTest::newRow("path as number") << with(QStringLiteral("path"), 5) << with(QStringLiteral("path"), 5) << false;
}

void TestWorkingCopy::sameSource()
{
    QFETCH(QJsonObject, a);
    QFETCH(QJsonObject, b);
    QFETCH(bool, same);
    QCOMPARE(::sameSource(a, b), same);
    QCOMPARE(::sameSource(b, a), same);
}

void TestWorkingCopy::fingerprintNoticesChanges()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.pdf"));
    QVERIFY(writeFile(path, pdfBytes('a')));
    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-3600);
    QVERIFY(setModified(path, stamp));
    const QJsonObject original = sourceFingerprint(path);

    // Same name, size and time, different first 64 KiB.
    QVERIFY(writeFile(path, pdfBytes('b')));
    QVERIFY(setModified(path, stamp));
    QVERIFY(!::sameSource(original, sourceFingerprint(path)));

    // Back to the original bytes: it matches again.
    QVERIFY(writeFile(path, pdfBytes('a')));
    QVERIFY(setModified(path, stamp));
    QVERIFY(::sameSource(original, sourceFingerprint(path)));

    // One byte appended.
    QVERIFY(writeFile(path, pdfBytes('a') + 'x'));
    QVERIFY(setModified(path, stamp));
    QVERIFY(!::sameSource(original, sourceFingerprint(path)));

    // Touched only.
    QVERIFY(writeFile(path, pdfBytes('a')));
    QVERIFY(setModified(path, stamp.addSecs(1)));
    QVERIFY(!::sameSource(original, sourceFingerprint(path)));
}

void TestWorkingCopy::restoreGate()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("第三课.pdf"));
    const QByteArray pdf = pdfBytes('c');
    QVERIFY(writeFile(source, pdf));

    RestoreResult none = runRestoreGate(source);
    QCOMPARE(none.outcome, RestoreResult::Outcome::NoWorkingCopy);
    QVERIFY(none.statusText.isEmpty());
    QVERIFY(none.annotations.isEmpty());

    // Written without the folder existing: the writer creates it, for this
    // user alone.
    QVERIFY(!QFileInfo::exists(workingCopyFolder()));
    QString error;
    QVERIFY2(writeWorkingCopy(source, inkWith(3), sourceFingerprint(source), &error), qPrintable(error));
    struct stat folder {};
    QCOMPARE(::stat(QFile::encodeName(workingCopyFolder()).constData(), &folder), 0);
    QCOMPARE(folder.st_mode & 0777, mode_t(0700));
    QJsonObject stored;
    QVERIFY(readPackage(workingCopyPath(source), nullptr, &stored));
    QVERIFY(::sameSource(stored.value(QStringLiteral("source")).toObject(), sourceFingerprint(source)));

    const RestoreResult restored = runRestoreGate(source);
    QCOMPARE(restored.outcome, RestoreResult::Outcome::Restored);
    QCOMPARE(restored.annotations.value(QStringLiteral("pages")), inkWith(3).value(QStringLiteral("pages")));
    QCOMPARE(restored.statusText, QStringLiteral("已恢复上次未另存的批注"));
    QCOMPARE(restored.statusTimeoutMs, 5000);
    // Restoring keeps the working copy.
    QVERIFY(QFileInfo::exists(workingCopyPath(source)));

    // The teacher edits the PDF elsewhere: the old ink must not land on it.
    QVERIFY(writeFile(source, pdfBytes('d')));
    const RestoreResult mismatch = runRestoreGate(source);
    QCOMPARE(mismatch.outcome, RestoreResult::Outcome::Mismatch);
    QVERIFY(mismatch.annotations.isEmpty());
    QCOMPARE(mismatch.statusText, QStringLiteral("工作副本与源文件不一致，未恢复批注"));
    QCOMPARE(mismatch.statusTimeoutMs, 8000);
    // The ink is the teacher's all the same: kept aside, where the first new
    // stroke's write cannot replace it.
    QVERIFY(!QFileInfo::exists(workingCopyPath(source)));
    QString aside = workingCopyPath(source);
    aside.replace(QStringLiteral(".dpz"), QStringLiteral("-mismatch.dpz"));
    QJsonObject kept;
    QVERIFY(readPackage(aside, nullptr, &kept));
    QCOMPARE(kept.value(QStringLiteral("pages")), inkWith(3).value(QStringLiteral("pages")));

    // A source that went away matches nothing; a second copy kept aside
    // does not replace the first.
    QVERIFY(writeWorkingCopy(source, inkWith(1), sourceFingerprint(source)));
    QVERIFY(QFile::remove(source));
    QCOMPARE(runRestoreGate(source).outcome, RestoreResult::Outcome::Mismatch);
    QVERIFY(readPackage(aside, nullptr, &kept));
    QCOMPARE(kept.value(QStringLiteral("pages")), inkWith(3).value(QStringLiteral("pages")));
    QVERIFY(QFileInfo::exists(aside.replace(QStringLiteral("-mismatch.dpz"), QStringLiteral("-mismatch-2.dpz"))));
}

// The working copy keeps the PDF by reference to its fingerprinted source:
// every write, the first too, stores only the ink. A copy from an older
// version, with the whole PDF inside, still restores.
void TestWorkingCopy::writesCostTheInkNotThePdf()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("厚书.pdf"));
    const QByteArray pdf = pdfBytes('g', 4 << 20);
    QVERIFY(writeFile(source, pdf));
    const QJsonObject fingerprint = sourceFingerprint(source);
    const QString copy = workingCopyPath(source);
    QVERIFY(ensureWorkingCopyFolder());
    QVERIFY(writePackage(copy, pdf, inkWith(1), nullptr, fingerprint));
    RestoreResult old = runRestoreGate(source);
    QCOMPARE(old.outcome, RestoreResult::Outcome::Restored);
    QCOMPARE(strokeCount(inkFromAnnotations(old.annotations)), 1);

    InkPages ink = inkFromAnnotations(inkWith(2));
    for (int write = 0; write < 2; ++write) {
        QString error;
        QVERIFY2(writeWorkingCopySnapshot(source, source, ink, fingerprint, &error), qPrintable(error));
        // The file is replaced whole, so its size is what the write cost.
        const QByteArray json = QJsonDocument(annotationsFromInk(ink)).toJson();
        QVERIFY2(QFileInfo(copy).size() < json.size() + 1024, qPrintable(QString::number(QFileInfo(copy).size())));
        const RestoreResult r = runRestoreGate(source);
        QCOMPARE(r.outcome, RestoreResult::Outcome::Restored);
        QCOMPARE(r.annotations.value(QStringLiteral("pages")), annotationsFromInk(ink).value(QStringLiteral("pages")));
        ink[0].append(ink[0].first());
    }
    QCOMPARE(readFile(source), pdf);
}

void TestWorkingCopy::unreadableWorkingCopyIsOnlyLogged()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("a.pdf"));
    QVERIFY(writeFile(source, pdfBytes('e')));
    QVERIFY(ensureWorkingCopyFolder());
    constexpr char kTorn[] = "PK\x03\x04 torn by a power cut";
    QVERIFY(writeFile(workingCopyPath(source), QByteArray(kTorn, sizeof kTorn - 1)));
    const RestoreResult r = runRestoreGate(source);
    QCOMPARE(r.outcome, RestoreResult::Outcome::Unreadable);
    QVERIFY(r.statusText.isEmpty());
    QVERIFY(r.annotations.isEmpty());
}

void TestWorkingCopy::damagedWorkingCopyIsKeptNotRestored()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("a.pdf"));
    QVERIFY(writeFile(source, pdfBytes('d')));
    QVERIFY(writeWorkingCopy(source, inkWith(2), sourceFingerprint(source)));
    const QString copy = workingCopyPath(source);
    QByteArray bytes = readFile(copy);
    const int digit = bytes.indexOf("\"version\":1") + 10;
    QVERIFY(digit > 10);
    bytes[digit] = '3';
    QVERIFY(writeFile(copy, bytes));

    const RestoreResult r = runRestoreGate(source);
    QCOMPARE(r.outcome, RestoreResult::Outcome::Damaged);
    QVERIFY(r.annotations.isEmpty());
    QCOMPARE(r.statusText, QStringLiteral("工作副本已损坏，未恢复批注"));
    // Kept as it was, aside, where the next write of new ink cannot reach it.
    QCOMPARE(readFile(damagedWorkingCopyPath(copy)), bytes);
    QVERIFY(!QFileInfo::exists(copy));
    QCOMPARE(runRestoreGate(source).outcome, RestoreResult::Outcome::NoWorkingCopy);
}

void TestWorkingCopy::discardedWorkingCopyIsGone()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("a.pdf"));
    QVERIFY(writeFile(source, pdfBytes('f')));
    QVERIFY(writeWorkingCopy(source, inkWith(1), sourceFingerprint(source)));
    QVERIFY(removeWorkingCopy(source));
    QVERIFY(!QFileInfo::exists(workingCopyPath(source)));
    QCOMPARE(runRestoreGate(source).outcome, RestoreResult::Outcome::NoWorkingCopy);
    QVERIFY(removeWorkingCopy(source)); // nothing to remove is fine
}

void TestWorkingCopy::extractedPdfIsReusedOnlyWhenIdentical()
{
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("lesson.dpz"));
    const QByteArray first = pdfBytes('1', 3 << 20);
    QVERIFY(writePackage(package, first, inkWith(1)));

    auto openPackage = [&package](QString *pdfPath) {
        QByteArray pdf;
        QString error;
        return readPackage(package, &pdf, nullptr, &error) && extractPackagePdf(package, pdf, pdfPath, &error);
    };
    QString pdfPath;
    QVERIFY(openPackage(&pdfPath));
    QCOMPARE(pdfPath, extractedPdfPath(package));
    QCOMPARE(readFile(pdfPath), first);

    // Second open weeks later: the same file is reused, not written again
    // (a rewrite would be a new inode), and dated now so no sweep takes it
    // while it is open.
    const QDateTime old = QDateTime::currentDateTime().addDays(-20);
    QVERIFY(setModified(pdfPath, old));
    const ino_t inode = inodeOf(pdfPath);
    QVERIFY(openPackage(&pdfPath));
    QCOMPARE(inodeOf(pdfPath), inode);
    QVERIFY(QFileInfo(pdfPath).lastModified() > QDateTime::currentDateTime().addSecs(-60));
    QCOMPARE(sweepFolder(tempFolder(), QDateTime::currentDateTime().addDays(-14)), 0);

    // The package is replaced by one around another PDF of the same size:
    // the old extraction must not be shown under the new package's ink.
    QByteArray second = first;
    second[second.size() - 10] = 'X';
    QVERIFY(writePackage(package, second, inkWith(2)));
    QVERIFY(openPackage(&pdfPath));
    QCOMPARE(readFile(pdfPath), second);

    // An extraction cut short (say by a crash of an older version) is rewritten.
    QVERIFY(writeFile(pdfPath, second.left(1000)));
    QVERIFY(openPackage(&pdfPath));
    QCOMPARE(readFile(pdfPath), second);

    // Only the extracted PDF lives in the temp folder; the rewrite left no debris.
    QCOMPARE(QDir(tempFolder()).entryList(QDir::Files | QDir::Hidden),
             QStringList{ QFileInfo(extractedPdfPath(package)).fileName() });
}

void TestWorkingCopy::onlyAnExtractedPdfIsRestored()
{
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("lesson.dpz"));
    const QByteArray pdf = pdfBytes('r');
    QVERIFY(writePackage(package, pdf, inkWith(1)));
    QString extracted;
    QVERIFY(extractPackagePdf(package, pdf, &extracted));

    QVERIFY(QFile::remove(extracted));
    QVERIFY(restoreExtractedPdf(extracted, package));
    QCOMPARE(readFile(extracted), pdf);

    // A PDF the teacher deleted is not brought back by a package saved from it.
    const QString own = dir.filePath(QStringLiteral("lesson.pdf"));
    QVERIFY(!restoreExtractedPdf(own, package));
    QVERIFY(!QFileInfo::exists(own));
    // Nor from a package that cannot be read; the error says why.
    QVERIFY(QFile::remove(extracted));
    QString error;
    QVERIFY(!restoreExtractedPdf(extracted, dir.filePath(QStringLiteral("gone.dpz")), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo::exists(extracted));
}

void TestWorkingCopy::extractionFailureIsReported_data()
{
    QTest::addColumn<QString>("tmpdir"); // relative to a scratch folder holding the regular file "file"
    QTest::newRow("folders are a regular file") << QStringLiteral("file");
    QTest::newRow("folders under a regular file") << QStringLiteral("file/below");
}

void TestWorkingCopy::extractionFailureIsReported()
{
    QFETCH(QString, tmpdir);
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("file"));
    QVERIFY(writeFile(blocker, "x"));
    const QByteArray savedTmp = qgetenv("TMPDIR");
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    qputenv("TMPDIR", QFile::encodeName(dir.filePath(tmpdir)));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(tmpdir)));
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(tmpdir)));
    QString pdfPath = QStringLiteral("unchanged");
    QString extractError;
    QString copyError;
    const bool extracted = extractPackagePdf(dir.filePath(QStringLiteral("a.dpz")), pdfBytes('g'), &pdfPath, &extractError);
    const bool wroteCopy = writeWorkingCopy(dir.filePath(QStringLiteral("a.pdf")), inkWith(1), QJsonObject(), &copyError);
    const QString folder = tempFolder();
    const bool workFolderTemporary = ::isTemporaryPath(QDir::currentPath() + QStringLiteral("/a.pdf"));
    qputenv("TMPDIR", savedTmp);
    qputenv("XDG_CACHE_HOME", savedCache);
    qputenv("XDG_STATE_HOME", savedState);
    QVERIFY(!workFolderTemporary);
    QVERIFY(!extracted);
    QCOMPARE(pdfPath, QStringLiteral("unchanged"));
    QVERIFY2(extractError.startsWith(QStringLiteral("无法创建私有文件夹 ")), qPrintable(extractError));
    QVERIFY(!wroteCopy);
    QVERIFY2(copyError.startsWith(QStringLiteral("无法创建私有文件夹 ")), qPrintable(copyError));
    QCOMPARE(readFile(blocker), QByteArray("x"));
    // Never a folder at the file-system root instead.
    QVERIFY(folder.isEmpty() || folder.startsWith(dir.path()));
}

void TestWorkingCopy::isTemporaryPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("temporary");
    const QString tmp = QDir(QDir::tempPath()).absolutePath();
    QTest::newRow("temp folder itself") << tmp << true;
    QTest::newRow("temp folder with slash") << tmp + QStringLiteral("/") << true;
    QTest::newRow("working copy") << workingCopyPath(QStringLiteral("/x/y.pdf")) << true;
    QTest::newRow("derived file") << extractedPdfPath(QStringLiteral("/x/y.dpz")) << true;
    QTest::newRow("other program's temp file") << tmp + QStringLiteral("/mail/附件.pdf") << true;
    QTest::newRow("other letter case") << tmp.toUpper() + QStringLiteral("/A.PDF") << true;
    QTest::newRow("dot segments into temp") << tmp + QStringLiteral("/x/../y.pdf") << true;
    QTest::newRow("sibling with longer name") << tmp + QStringLiteral("x/a.pdf") << false;
    QTest::newRow("dot segments out of temp") << tmp + QStringLiteral("/../outside.pdf") << false;
    QTest::newRow("home file") << QDir::homePath() + QStringLiteral("/课件/a.pdf") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestWorkingCopy::isTemporaryPath()
{
    QFETCH(QString, path);
    QFETCH(bool, temporary);
    QCOMPARE(::isTemporaryPath(path), temporary);
}

void TestWorkingCopy::sweepRemovesOnlyOldFiles()
{
    QVERIFY(QDir().mkpath(tempFolder() + QStringLiteral("/sub")));
    const QDateTime now = QDateTime::currentDateTime();
    const QStringList oldNames{ QStringLiteral("work-old1.dpz"), QStringLiteral("old2.pdf"), QStringLiteral("old3.pdf") };
    const QStringList newNames{ QStringLiteral("work-new1.dpz"), QStringLiteral("new2.pdf") };
    int age = 30;
    for (const QString &name : oldNames) {
        QVERIFY(writeFile(tempFolder() + QLatin1Char('/') + name, "old"));
        QVERIFY(setModified(tempFolder() + QLatin1Char('/') + name, now.addDays(-age--)));
    }
    for (const QString &name : newNames) {
        QVERIFY(writeFile(tempFolder() + QLatin1Char('/') + name, "new"));
        QVERIFY(setModified(tempFolder() + QLatin1Char('/') + name, now.addDays(-13)));
    }
    // Old entries that are not plain visible files stay.
    QVERIFY(writeFile(tempFolder() + QStringLiteral("/.hidden"), "h"));
    QVERIFY(setModified(tempFolder() + QStringLiteral("/.hidden"), now.addDays(-40)));
    QVERIFY(writeFile(tempFolder() + QStringLiteral("/sub/inner.pdf"), "i"));
    QVERIFY(setModified(tempFolder() + QStringLiteral("/sub/inner.pdf"), now.addDays(-40)));

    QCOMPARE(sweepFolder(tempFolder(), now.addDays(-14)), 3);
    QStringList left = QDir(tempFolder()).entryList(QDir::Files);
    left.sort();
    QStringList expected = newNames;
    expected.sort();
    QCOMPARE(left, expected);
    QVERIFY(QFileInfo::exists(tempFolder() + QStringLiteral("/.hidden")));
    QVERIFY(QFileInfo::exists(tempFolder() + QStringLiteral("/sub/inner.pdf")));

    // The start-up entry sweeps the same folder with the 14-day limit.
    QVERIFY(writeFile(tempFolder() + QStringLiteral("/stale.pdf"), "s"));
    QVERIFY(setModified(tempFolder() + QStringLiteral("/stale.pdf"), now.addDays(-15)));
    sweepTempFolder();
    QVERIFY(!QFileInfo::exists(tempFolder() + QStringLiteral("/stale.pdf")));
    QCOMPARE(QDir(tempFolder()).entryList(QDir::Files).size(), newNames.size());

    // No folder, nothing to do.
    QVERIFY(QDir(tempFolder()).removeRecursively());
    sweepTempFolder();
    QCOMPARE(sweepFolder(tempFolder(), now), 0);
}

// A school holiday is longer than 14 days: the working copies made before
// it hold the only copy of ink nobody saved, and stay; what a write killed
// halfway left beside them goes with the derived files.
void TestWorkingCopy::sweepNeverTakesAWorkingCopy()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("假期前.pdf"));
    QVERIFY(writeFile(source, pdfBytes('h')));
    QVERIFY(writeWorkingCopy(source, inkWith(2), sourceFingerprint(source)));
    const QString copy = workingCopyPath(source);
    const QString leftover = copy + QStringLiteral(".a1B2c3");
    QVERIFY(writeFile(leftover, "half"));
    QVERIFY(ensureTempFolder());
    const QString derived = tempFolder() + QStringLiteral("/word-old.pdf");
    QVERIFY(writeFile(derived, pdfBytes('i')));
    const QDateTime holiday = QDateTime::currentDateTime().addDays(-40);
    for (const QString &path : {copy, leftover, derived})
        QVERIFY(setModified(path, holiday));

    sweepTempFolder();
    QVERIFY(!QFileInfo::exists(derived));
    QVERIFY(!QFileInfo::exists(leftover));
    const RestoreResult r = runRestoreGate(source);
    QCOMPARE(r.outcome, RestoreResult::Outcome::Restored);
    QCOMPARE(r.annotations.value(QStringLiteral("pages")), inkWith(2).value(QStringLiteral("pages")));
}

// The first start after the update finds the ink an earlier version kept in
// the shared /tmp folder: this user's copies move into the state folder
// (none lost, none overwritten), another account's stay where they are.
void TestWorkingCopy::legacyWorkingCopiesMoveOver()
{
    QTemporaryDir dir;
    const QString legacy = legacyTempFolder();
    QVERIFY(QDir().mkpath(legacy));
    const QString first = dir.filePath(QStringLiteral("甲.pdf"));
    const QString second = dir.filePath(QStringLiteral("乙.pdf"));
    QVERIFY(writeFile(first, pdfBytes('j')));
    QVERIFY(writeFile(second, pdfBytes('k')));
    const auto legacyCopy = [&legacy](const QString &source) {
        return legacy + QLatin1Char('/') + QFileInfo(workingCopyPath(source)).fileName();
    };
    QVERIFY(writePackage(legacyCopy(first), QByteArray(), inkWith(4), nullptr, sourceFingerprint(first)));
    // For the second, the old folder's copy is older than one already here.
    QVERIFY(writePackage(legacyCopy(second), QByteArray(), inkWith(1), nullptr, sourceFingerprint(second)));
    QVERIFY(setModified(legacyCopy(second), QDateTime::currentDateTime().addDays(-1)));
    QVERIFY(writeWorkingCopy(second, inkWith(2), sourceFingerprint(second)));
    // Another account's file in the shared folder (root can hand it over).
    const QString foreign = legacy + QStringLiteral("/work-") + sha1Hex(QStringLiteral("/other.pdf")) + QStringLiteral(".dpz");
    QVERIFY(writeFile(foreign, "someone else's"));
    if (::geteuid() == 0)
        QCOMPARE(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    else
        QVERIFY(QFile::remove(foreign));

    QCOMPARE(migrateLegacyWorkingCopies(), 2);
    QVERIFY(!QFileInfo::exists(legacyCopy(first)));
    QCOMPARE(QFileInfo::exists(foreign), ::geteuid() == 0);
    QVERIFY(!QFileInfo::exists(QFileInfo(workingCopyFolder(), QFileInfo(foreign).fileName()).filePath()));

    const RestoreResult moved = runRestoreGate(first);
    QCOMPARE(moved.outcome, RestoreResult::Outcome::Restored);
    QCOMPARE(moved.annotations.value(QStringLiteral("pages")), inkWith(4).value(QStringLiteral("pages")));
    // The newer copy keeps the name, the older one lies beside it.
    const RestoreResult newer = runRestoreGate(second);
    QCOMPARE(newer.annotations.value(QStringLiteral("pages")), inkWith(2).value(QStringLiteral("pages")));
    QString older = workingCopyPath(second);
    older.replace(QStringLiteral(".dpz"), QStringLiteral("-older.dpz"));
    QJsonObject kept;
    QVERIFY(readPackage(older, nullptr, &kept));
    QCOMPARE(kept.value(QStringLiteral("pages")), inkWith(1).value(QStringLiteral("pages")));

    // Done once: a second start has nothing left to move.
    QCOMPARE(migrateLegacyWorkingCopies(), 0);
}

QTEST_MAIN(TestWorkingCopy)
#include "tst_workingcopy.moc"
