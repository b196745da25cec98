#include "app/cliexport.h"

#include "app/officeopen.h"
#include "app/pdfshare.h"
#include "canvas/canvasexport.h"

#include "canvas/pdfcanvas.h"
#include "files/imageimport.h"
#include "files/package.h"
#include "files/pdfexport.h"
#include "files/wordconvert.h"
#include "files/workingcopy.h"
#include "system/diaglog.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>

#include <cstdio>
#include <memory>

namespace {

QString logSave()
{
    return QStringLiteral("save");
}

void printOut(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void printError(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

int fail(const QString &message)
{
    printError(message);
    return kExportFailedExit;
}

// After a successful export: 0, or the damaged package's warning and its
// own exit status.
int finished(const QString &input, const QList<PackageDamage> &damage)
{
    if (damage.isEmpty())
        return 0;
    for (const PackageDamage &d : damage)
        logInfo(QStringLiteral("open"), QStringLiteral("批注包已损坏：%1（%2）").arg(input, d.describe()));
    printError(packageDamageText(damage));
    return kExportDamagedExit;
}

// The document as the open flow would show it, in a canvas that is never
// shown. Packages bring their own ink; a plain PDF has none (the working
// copy's ink belongs to the window's session, not to a scripted export).
// Office documents are converted and pictures wrapped into a one-page PDF
// first, as the open flow does (the conversion blocks: there is no window).
bool loadForExport(const QString &input, PdfCanvas *canvas, QString *pdfPath, QList<PackageDamage> *damage,
                   QString *error)
{
    QJsonObject ink;
    *pdfPath = input;
    if (isOfficeDocument(input)) {
        if (!hasConverterFor(officeKindOf(input))) {
            *error = noConverterText(officeKindOf(input));
            return false;
        }
        QString message;
        if (!convertWordToPdf(input, pdfPath, &message)) {
            *error = QStringLiteral("转换失败：%1").arg(message);
            return false;
        }
    } else if (isImageFile(input)) {
        QString message;
        if (!wrapImageAsPdf(input, pdfPath, &message)) {
            *error = QStringLiteral("图片导入失败：%1").arg(message);
            return false;
        }
    } else if (looksLikePackage(input)) {
        QByteArray pdf;
        QString message;
        if (!readPackage(input, &pdf, &ink, &message, damage)) {
            *error = QStringLiteral("打开失败：%1").arg(message);
            return false;
        }
        if (!extractPackagePdf(input, pdf, pdfPath, &message)) {
            *error = QStringLiteral("打开失败：无法写入临时文件");
            return false;
        }
    }
    QString message;
    if (!canvas->openPdf(*pdfPath, &message)) {
        // There is nobody to ask for a password here.
        *error = canvas->lastOpenNeedsPassword()
                ? QStringLiteral("打开失败：此 PDF 受密码保护，命令行导出无法输入密码（请在程序中打开并输入密码后导出）")
                : QStringLiteral("打开失败：%1").arg(message);
        return false;
    }
    if (!ink.isEmpty())
        canvas->importAnnotations(ink);
    return true;
}

} // namespace

int runExportSwitch(const QString &name, const QString &input, const QString &output, bool raster)
{
    const bool pdf = name == QLatin1String("--export-pdf");
    auto canvas = std::make_unique<PdfCanvas>();
    QString pdfPath;
    QList<PackageDamage> damage;
    QString error;
    if (!loadForExport(input, canvas.get(), &pdfPath, &damage, &error)) {
        logInfo(QStringLiteral("open"), QStringLiteral("命令行导出：%1（%2）").arg(input, error));
        return fail(error);
    }
    const QStringList sources{input, pdfPath};

    if (pdf) {
        if (!sourceAmongTargets({output}, sources).isEmpty()) {
            logInfo(logSave(), QStringLiteral("拒绝把源文件当作导出目标：%1").arg(output));
            return fail(QStringLiteral("不能用源文件本身作为导出目标，请换一个文件名"));
        }
        const PdfShareResult result = exportSharedPdf(exportSource(canvas.get()), output,
                                                      raster ? PdfExportWay::PageImages : PdfExportWay::KeepOriginal);
        if (!result.ok) {
            logInfo(logSave(), QStringLiteral("注入 PDF 失败：%1（%2）").arg(output, result.error));
            return fail(QStringLiteral("导出失败：%1").arg(result.error));
        }
        // Still a success: the PDF with the ink is there, only its pages are pictures.
        if (result.fellBack) {
            logInfo(logSave(), QStringLiteral("%1：%2（%3）").arg(keptAsPageImagesText(), output, result.fallbackReason));
            printError(keptAsPageImagesText());
        }
        logInfo(logSave(), QStringLiteral("命令行注入 PDF %1：%2 页").arg(output).arg(canvas->pageCount()));
        printOut(QDir::toNativeSeparators(output));
        return finished(input, damage);
    }

    QString base = output;
    if (base.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        base.chop(4);
    const int count = canvas->pageCount();
    QStringList names;
    for (int k = 1; k <= count; ++k)
        names.append(pngPageName(base, k, count));
    const QString clash = sourceAmongTargets(names, sources);
    if (!clash.isEmpty()) {
        logInfo(logSave(), QStringLiteral("拒绝把源文件当作导出目标：%1").arg(clash));
        return fail(QStringLiteral("不能用源文件本身作为导出目标，请换个文件名"));
    }
    QStringList written;
    if (exportPngPages(canvas.get(), base, &error, kDefaultPngDpi, nullptr, &written) < 0) {
        logInfo(logSave(), QStringLiteral("导出 PNG 失败：%1（%2）").arg(output, error));
        return fail(QStringLiteral("导出失败：%1").arg(error));
    }
    logInfo(logSave(), QStringLiteral("命令行导出 PNG %1：%2 张").arg(output).arg(written.size()));
    for (const QString &file : std::as_const(written))
        printOut(QDir::toNativeSeparators(file));
    return finished(input, damage);
}
