#include "files/wordconvert.h"

#include "files/wordconvertjob.h"
#include "files/workingcopy.h"
#include "platform/wordengine.h"
#include "system/diaglog.h"
#include "system/settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPdfDocument>
#include <QStandardPaths>
#include <QUrl>

namespace {

bool isFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace

bool isWordDocument(const QString &path)
{
    return path.endsWith(QStringLiteral(".docx"), Qt::CaseInsensitive)
        || path.endsWith(QStringLiteral(".doc"), Qt::CaseInsensitive);
}

QString wordContentProblem(const QString &source)
{
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取 Word 文档：%1").arg(source);
    if (file.size() == 0)
        return QStringLiteral("Word 文档是空的（0 字节）：%1").arg(source);
    const QByteArray head = file.read(512);
    static const QByteArray kOle("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    if (head.startsWith(kOle) || head.startsWith("{\\rtf"))
        return QString();
    if (head.startsWith("PK\x03\x04")) {
        // Entry names are listed in the central directory at the end.
        constexpr qint64 kTail = 1 << 20;
        file.seek(qMax<qint64>(0, file.size() - kTail));
        if (file.read(kTail).contains("word/document"))
            return QString();
        return QStringLiteral("不是有效的 Word 文档（压缩包里没有 Word 正文）：%1").arg(source);
    }
    QByteArray text = head;
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.mid(3);
    if (text.trimmed().startsWith('<'))
        return QString();
    return QStringLiteral("不是有效的 Word 文档：%1").arg(source);
}

QString findSoffice()
{
    const QString configured = libreOfficePath();
    if (isFile(configured))
        return QDir::toNativeSeparators(configured);
    const QString bundled = QCoreApplication::applicationDirPath() + QLatin1Char('/') + bundledSofficeRelativePath();
    if (isFile(bundled))
        return QDir::toNativeSeparators(bundled);
    const QString fromEnvironment = qEnvironmentVariable("LECTERN_SOFFICE");
    if (isFile(fromEnvironment))
        return QDir::toNativeSeparators(fromEnvironment);
    for (const QString &name : sofficeExecutableNames()) {
        const QString onPath = QStandardPaths::findExecutable(name);
        if (!onPath.isEmpty())
            return QDir::toNativeSeparators(onPath);
    }
    const QStringList installed = installedSofficeCandidates();
    return installed.isEmpty() ? QString() : QDir::toNativeSeparators(installed.first());
}

bool hasConverter()
{
    return hasWordOrWps() || !findSoffice().isEmpty();
}

WordEngine chooseEngine()
{
    switch (wordConvertEngine()) {
    case 1:
        return hasWordOrWps() ? WordEngine::Word : WordEngine::None;
    case 2:
        return findSoffice().isEmpty() ? WordEngine::None : WordEngine::LibreOffice;
    default:
        if (hasWordOrWps())
            return WordEngine::Word;
        return findSoffice().isEmpty() ? WordEngine::None : WordEngine::LibreOffice;
    }
}

QString engineName(WordEngine engine)
{
    return engine == WordEngine::Word ? QStringLiteral("Word") : QStringLiteral("LibreOffice");
}

QString wordCachePath(const QString &source, WordEngine engine)
{
    const QFileInfo info(source);
    if (!info.exists() || tempFolder().isEmpty())
        return QString();
    const QString key = QDir::toNativeSeparators(source) + QLatin1Char('|') + QString::number(info.size())
        + QLatin1Char('|') + QString::number(info.lastModified().toMSecsSinceEpoch());
    const QString suffix = engine == WordEngine::LibreOffice ? QStringLiteral("-lo") : QString();
    return tempFolder() + QStringLiteral("/word-") + tempKeyHash(key) + suffix + QStringLiteral(".pdf");
}

bool convertWordToPdf(const QString &source, QString *pdfPath, QString *error)
{
    WordConvertJob job(source);
    job.start();
    const bool ok = job.waitForFinished();
    if (pdfPath)
        *pdfPath = ok ? job.pdfPath() : QString();
    if (error)
        *error = ok ? QString() : job.error();
    return ok;
}

bool isWordDefaultForDocx()
{
    return defaultDocxHandler().startsWith(QStringLiteral("Word."), Qt::CaseInsensitive);
}

bool convertedPdfOpens(const QString &path)
{
    QPdfDocument document;
    document.load(path);
    return document.status() == QPdfDocument::Status::Ready && document.pageCount() > 0;
}

QString libreOfficeProfileArgument(const QString &profileFolder)
{
    return QStringLiteral("-env:UserInstallation=")
        + QUrl::fromLocalFile(profileFolder).toString(QUrl::FullyEncoded);
}

int sweepConverterLeftovers()
{
    const QString folder = tempFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return 0;
    // Processes first: an orphaned LibreOffice may still write into its folders.
    const QString profiles = folder + QStringLiteral("/lo-profile-");
    const int ended = endOrphanedProcessGroups(libreOfficeProfileArgument(profiles).toUtf8());
    if (ended > 0)
        logInfo(QStringLiteral("cache"), QStringLiteral("结束遗留的 LibreOffice 进程 %1 组").arg(ended));

    // A conversion is killed after a few minutes, so an hour-old folder
    // belongs to none that still runs.
    constexpr int kLeftoverAgeSecs = 3600;
    const QDateTime cutoff = QDateTime::currentDateTime().addSecs(-kLeftoverAgeSecs);
    int removed = 0;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        {QStringLiteral("lo-profile-*"), QStringLiteral("lo-out-*")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() || entry.lastModified() >= cutoff)
            continue;
        if (QDir(entry.absoluteFilePath()).removeRecursively())
            ++removed;
    }
    if (removed > 0)
        logInfo(QStringLiteral("cache"), QStringLiteral("清理 LibreOffice 遗留目录 %1 个").arg(removed));
    return removed;
}
