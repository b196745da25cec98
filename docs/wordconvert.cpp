#include "docs/wordconvert.h"

#include "docs/wordconvertjob.h"
#include "docs/workingcopy.h"
#include "platform/wordengine.h"
#include "system/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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
