#include "files/workingcopy.h"

#include "system/temppath.h"

#include "files/package.h"
#include "platform/userfolders.h"
#include "system/diaglog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonValue>
#include <QSaveFile>

#include <cstring>

namespace {

constexpr qint64 kHeadBytes = 65536;

// Compares a file with bytes in pieces, so a 200 MB PDF needs no second copy in memory.
bool fileHoldsExactly(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
        return false;
    constexpr qint64 kChunk = 1 << 20;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    qint64 offset = 0;
    while (offset < bytes.size()) {
        const qint64 want = qMin(kChunk, bytes.size() - offset);
        const qint64 got = file.read(buffer.data(), want);
        if (got != want || memcmp(buffer.constData(), bytes.constData() + offset, size_t(want)) != 0)
            return false;
        offset += got;
    }
    return true;
}

} // namespace

QString tempFolder()
{
    return userCacheFolder();
}

QString workingCopyFolder()
{
    return userStateFolder();
}

bool ensureTempFolder(QString *error)
{
    return makePrivateFolder(tempFolder(), error);
}

bool ensureWorkingCopyFolder(QString *error)
{
    return makePrivateFolder(workingCopyFolder(), error);
}

namespace {

// Written beside the target and moved into place, so a reader never sees
// half a PDF.
bool writeTempFile(const QString &target, const QByteArray &bytes, QString *error)
{
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("无法写入 %1：%2").arg(target, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("写入 %1 失败：%2").arg(target, file.errorString());
        return false;
    }
    return true;
}

} // namespace

QString tempKeyHash(const QString &key)
{
    return QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString workingCopyPath(const QString &sourcePath)
{
    const QString folder = workingCopyFolder();
    if (folder.isEmpty())
        return QString();
    return folder + QStringLiteral("/work-") + tempKeyHash(QDir::toNativeSeparators(sourcePath))
        + QStringLiteral(".dpz");
}

QJsonObject sourceFingerprint(const QString &sourcePath)
{
    const QFileInfo info(sourcePath);
    if (!info.exists() || !info.isFile())
        return {};
    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(kHeadBytes);
    file.close();
    QJsonObject fp;
    fp.insert(QStringLiteral("path"), QDir::toNativeSeparators(info.absoluteFilePath()));
    fp.insert(QStringLiteral("size"), double(info.size()));
    fp.insert(QStringLiteral("mtimeMs"), double(info.lastModified().toMSecsSinceEpoch()));
    fp.insert(QStringLiteral("head"),
              QString::fromLatin1(QCryptographicHash::hash(head, QCryptographicHash::Sha1).toHex()));
    return fp;
}

bool sameSource(const QJsonObject &a, const QJsonObject &b)
{
    const QString kPath = QStringLiteral("path");
    const QString kHead = QStringLiteral("head");
    const QString kSize = QStringLiteral("size");
    const QString kMtime = QStringLiteral("mtimeMs");
    for (const QJsonObject *o : { &a, &b }) {
        if (!o->value(kPath).isString() || !o->value(kHead).isString() || !o->value(kSize).isDouble()
            || !o->value(kMtime).isDouble())
            return false;
    }
    return a.value(kPath).toString() == b.value(kPath).toString()
        && a.value(kSize).toDouble() == b.value(kSize).toDouble()
        && a.value(kMtime).toDouble() == b.value(kMtime).toDouble()
        && a.value(kHead).toString() == b.value(kHead).toString();
}

int sweepFolder(const QString &folder, const QDateTime &cutoff)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return 0;
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
    int deleted = 0;
    for (const QFileInfo &info : files) {
        if (!(info.lastModified() < cutoff))
            break;
        if (QFile::remove(info.absoluteFilePath()))
            ++deleted;
    }
    return deleted;
}

namespace {

// Beside the working copies only what a killed write left half done goes
// by age: every ".dpz" there may hold the only copy of unsaved ink, and
// leaves only once that ink has been saved or discarded.
int sweepLeftovers(const QString &folder, const QDateTime &cutoff)
{
    if (folder.isEmpty())
        return 0;
    int deleted = 0;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    for (const QFileInfo &info : files) {
        if (info.fileName().endsWith(QLatin1String(".dpz")) || !(info.lastModified() < cutoff))
            continue;
        if (QFile::remove(info.absoluteFilePath()))
            ++deleted;
    }
    return deleted;
}

// Copies from to to (atomically: Qt copies into a temporary file beside
// the target and renames it) and removes from once the copy is whole.
bool moveFileAcross(const QString &from, const QString &to)
{
    if (QFile::rename(from, to))
        return true;
    if (!QFile::copy(from, to))
        return false;
    if (QFileInfo(to).size() != QFileInfo(from).size()) {
        QFile::remove(to);
        return false;
    }
    return QFile::remove(from);
}

bool sameBytes(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    return first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly) && first.size() == second.size()
        && first.readAll() == second.readAll();
}

// copy with tag before ".dpz", numbered past any file already there.
QString freeAsidePath(const QString &copy, const QString &tag)
{
    QString base = copy;
    if (base.endsWith(QLatin1String(".dpz")))
        base.chop(4);
    base += QLatin1Char('-') + tag;
    QString candidate = base + QStringLiteral(".dpz");
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = base + QStringLiteral("-%1.dpz").arg(n);
    return candidate;
}

} // namespace

void sweepTempFolder()
{
    constexpr int kMaxAgeDays = 14;
    const QDateTime cutoff = QDateTime::currentDateTime().addDays(-kMaxAgeDays);
    const int deleted = sweepFolder(tempFolder(), cutoff) + sweepLeftovers(workingCopyFolder(), cutoff);
    if (deleted > 0 && isLogEnabled())
        logInfo(QStringLiteral("cache"), QStringLiteral("清理临时工作副本 %1 个（超过 %2 天）").arg(deleted).arg(kMaxAgeDays));
}

int migrateLegacyWorkingCopies()
{
    const QString legacy = legacyTempFolder();
    const QString target = workingCopyFolder();
    if (legacy.isEmpty() || target.isEmpty() || QDir::cleanPath(legacy) == QDir::cleanPath(target))
        return 0;
    const QStringList names =
        QDir(legacy).entryList({QStringLiteral("work-*.dpz")}, QDir::Files | QDir::Hidden, QDir::Name);
    if (names.isEmpty())
        return 0;
    const QString cache = QStringLiteral("cache");
    QString error;
    if (!ensureWorkingCopyFolder(&error)) {
        logInfo(cache, QStringLiteral("无法移走旧临时文件夹里的工作副本：%1").arg(error));
        return 0;
    }
    int moved = 0;
    for (const QString &name : names) {
        const QString from = legacy + QLatin1Char('/') + name;
        // The shared folder may hold other accounts' copies, or files
        // planted there: only this user's own files come along.
        if (!isOwnRegularFile(from))
            continue;
        const QString to = target + QLatin1Char('/') + name;
        QString destination = to;
        if (QFileInfo::exists(to)) {
            if (sameBytes(from, to)) {
                // Moved already, and the old one not yet removed.
                QFile::remove(from);
                continue;
            }
            if (QFileInfo(from).lastModified() > QFileInfo(to).lastModified()) {
                const QString older = freeAsidePath(to, QStringLiteral("older"));
                if (!QFile::rename(to, older))
                    destination = freeAsidePath(to, QStringLiteral("older"));
                else
                    logInfo(cache, QStringLiteral("较旧的工作副本保留为 %1").arg(older));
            } else {
                destination = freeAsidePath(to, QStringLiteral("older"));
            }
        }
        if (moveFileAcross(from, destination)) {
            ++moved;
        } else {
            logInfo(cache, QStringLiteral("无法移走旧的工作副本：%1 → %2").arg(from, destination));
        }
    }
    if (moved > 0)
        logInfo(cache, QStringLiteral("已把 %1 个工作副本从 %2 移到 %3").arg(moved).arg(legacy, target));
    return moved;
}

bool isInTempFolder(const QString &path)
{
    const QString folder = tempFolder();
    if (folder.isEmpty() || path.isEmpty())
        return false;
    const QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) + QLatin1Char('/');
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath()).startsWith(root);
}

bool touchFile(const QString &path)
{
    QFile file(path);
    // Read-write because Windows sets times only through a writable handle;
    // ExistingOnly so a vanished file is not recreated empty.
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)
        && file.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
}

void refreshTempFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (isInTempFolder(path))
            touchFile(path);
    }
}

QString extractedPdfPath(const QString &packagePath)
{
    if (tempFolder().isEmpty())
        return QString();
    return tempFolder() + QLatin1Char('/') + tempKeyHash(packagePath) + QStringLiteral(".pdf");
}

bool extractPackagePdf(const QString &packagePath, const QByteArray &pdf, QString *pdfPathOut, QString *error)
{
    if (!ensureTempFolder(error))
        return false;
    const QString target = extractedPdfPath(packagePath);
    // A reused file keeps its old date otherwise, and the next sweep would
    // take it from under the open document.
    if ((!fileHoldsExactly(target, pdf) || !touchFile(target)) && !writeTempFile(target, pdf, error))
        return false;
    if (pdfPathOut)
        *pdfPathOut = target;
    return true;
}

bool restoreExtractedPdf(const QString &pdfPath, const QString &packagePath, QString *error)
{
    if (QFileInfo::exists(pdfPath))
        return true;
    if (packagePath.isEmpty() || !isInTempFolder(pdfPath))
        return false;
    QByteArray pdf;
    QString detail;
    if (!readPackage(packagePath, &pdf, nullptr, &detail) || !ensureTempFolder(&detail)
        || !writeTempFile(pdfPath, pdf, &detail)) {
        logInfo(QStringLiteral("cache"), QStringLiteral("临时 PDF 丢失，无法从批注包重新解出：%1（%2）").arg(pdfPath, detail));
        if (error)
            *error = detail;
        return false;
    }
    logInfo(QStringLiteral("cache"), QStringLiteral("临时 PDF 丢失，已从批注包重新解出：%1（%2）").arg(pdfPath, packagePath));
    return true;
}

QString damagedWorkingCopyPath(const QString &copy)
{
    QString aside = copy;
    if (aside.endsWith(QLatin1String(".dpz")))
        aside.chop(4);
    return aside + QStringLiteral("-damaged.dpz");
}

QString damagedWorkingCopyText()
{
    return QStringLiteral("工作副本已损坏，未恢复批注");
}

QString keepMismatchedWorkingCopy(const QString &copy)
{
    const QString aside = freeAsidePath(copy, QStringLiteral("mismatch"));
    if (!QFile::rename(copy, aside)) {
        logInfo(QStringLiteral("open"), QStringLiteral("无法把不一致的工作副本移开：%1").arg(copy));
        return QString();
    }
    logInfo(QStringLiteral("open"), QStringLiteral("不一致的工作副本保留为 %1").arg(aside));
    return aside;
}

QString mismatchedWorkingCopyText()
{
    return QStringLiteral("工作副本与源文件不一致，未恢复批注");
}

WorkingCopyRead readWorkingCopyInk(const QString &copy, QJsonObject *json)
{
    if (copy.isEmpty() || !QFileInfo::exists(copy))
        return WorkingCopyRead::Missing;
    const QString open = QStringLiteral("open");
    QString error;
    QList<PackageDamage> damage;
    if (!readPackage(copy, nullptr, json, &error, &damage)) {
        logInfo(open, QStringLiteral("工作副本读取失败：%1（%2）").arg(copy, error));
        return WorkingCopyRead::Unreadable;
    }
    if (damage.isEmpty())
        return WorkingCopyRead::Ok;
    *json = QJsonObject();
    for (const PackageDamage &d : damage)
        logInfo(open, QStringLiteral("工作副本已损坏，未恢复批注：%1（%2）").arg(copy, d.describe()));
    const QString aside = damagedWorkingCopyPath(copy);
    QFile::remove(aside);
    if (QFile::rename(copy, aside))
        logInfo(open, QStringLiteral("损坏的工作副本保留为 %1").arg(aside));
    return WorkingCopyRead::Damaged;
}

RestoreResult runRestoreGate(const QString &sourcePath)
{
    RestoreResult result;
    const QString copy = workingCopyPath(sourcePath);
    QJsonObject json;
    switch (readWorkingCopyInk(copy, &json)) {
    case WorkingCopyRead::Missing:
        return result;
    case WorkingCopyRead::Unreadable:
        result.outcome = RestoreResult::Outcome::Unreadable;
        return result;
    case WorkingCopyRead::Damaged:
        result.outcome = RestoreResult::Outcome::Damaged;
        result.statusText = damagedWorkingCopyText();
        result.statusTimeoutMs = 8000;
        return result;
    case WorkingCopyRead::Ok:
        break;
    }
    const QJsonObject stored = json.value(QStringLiteral("source")).toObject();
    if (sameSource(stored, sourceFingerprint(sourcePath))) {
        result.outcome = RestoreResult::Outcome::Restored;
        result.annotations = json;
        result.statusText = QStringLiteral("已恢复上次未另存的批注");
        result.statusTimeoutMs = 5000;
        return result;
    }
    logInfo(QStringLiteral("open"), QStringLiteral("工作副本与源文件不一致，未恢复批注：%1（源 %2）").arg(copy, sourcePath));
    keepMismatchedWorkingCopy(copy);
    result.outcome = RestoreResult::Outcome::Mismatch;
    result.statusText = mismatchedWorkingCopyText();
    result.statusTimeoutMs = 8000;
    return result;
}

bool writeWorkingCopy(const QString &sourcePath, const QJsonObject &annotations, const QJsonObject &fingerprint,
                      QString *error, const QByteArray &pdf)
{
    if (!ensureWorkingCopyFolder(error))
        return false;
    // Still a whole package replaced atomically: a kill at any moment
    // leaves the previous copy or the new one, never a torn one.
    return writePackage(workingCopyPath(sourcePath), pdf, annotations, error, fingerprint);
}

bool removeWorkingCopy(const QString &sourcePath)
{
    const QString copy = workingCopyPath(sourcePath);
    return copy.isEmpty() || !QFileInfo::exists(copy) || QFile::remove(copy);
}
