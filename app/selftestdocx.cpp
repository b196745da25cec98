#include "app/selftestdocx.h"

#include "files/wordconvert.h"
#include "files/wordconvertsample.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPdfDocument>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void printLine(const char *key, const QString &value)
{
    std::printf("%s=%s\n", key, value.toUtf8().constData());
    std::fflush(stdout);
}

void printMs(const char *key, double ms, int decimals)
{
    printLine(key, QString::number(ms, 'f', decimals));
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int runDocxSelfTest()
{
    constexpr int kPages = 3;
    QTemporaryDir folder;
    const QString docx = folder.filePath(QStringLiteral("自检 文档.docx"));
    QString error;
    if (!folder.isValid() || !writeSampleDocx(docx, kPages, SamplePictures::OnePerPage, &error)) {
        printLine("docx_error", QStringLiteral("无法写入测试文档：%1").arg(error));
        printLine("docx_result", QStringLiteral("FAIL"));
        return 1;
    }
    printLine("docx_converter", findSoffice());
    QElapsedTimer timer;
    timer.start();
    QString pdf;
    const bool converted = convertWordToPdf(docx, &pdf, &error);
    printMs("docx_convert_ms", msSince(timer), 0);
    int pages = 0;
    if (converted) {
        QPdfDocument document;
        document.load(pdf);
        pages = document.status() == QPdfDocument::Status::Ready ? document.pageCount() : 0;
    } else {
        printLine("docx_error", error);
    }
    printLine("docx_pages", QString::number(pages));
    timer.restart();
    QString cached;
    const bool again = converted && convertWordToPdf(docx, &cached, &error) && cached == pdf;
    printMs("docx_cache_ms", msSince(timer), 1);
    const bool pass = converted && pages == kPages && again;
    printLine("docx_result", pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    return pass ? 0 : 1;
}
