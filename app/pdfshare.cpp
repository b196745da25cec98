#include "app/pdfshare.h"

#include "files/inkedpdf.h"
#include "ink/annotationjson.h"
#include "ink/inkmarks.h"
#include "system/settings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

namespace {

constexpr int kCancelPollMs = 50;

// Runs writeInkedPdf on a thread of its own while this thread's events run:
// progress reaches monitor here, and a cancel it asks for reaches the writer.
InkedPdfOutcome writeBesideEvents(InkedPdfRequest request, ExportMonitor *monitor, QString *error)
{
    const int total = int(request.shownSizes.size());
    QObject context;
    QEventLoop loop;
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<int> reported{-1};
    InkedPdfOutcome outcome = InkedPdfOutcome::Refused;

    request.cancelled = [&cancel] { return cancel.load(); };
    request.progress = [&context, &reported, monitor, total](double share) {
        const int done = std::clamp(int(std::floor(share * total)), 0, total);
        if (!monitor || reported.exchange(done) == done)
            return;
        QMetaObject::invokeMethod(&context, [monitor, done, total] { monitor->progress(done, total); },
                                  Qt::QueuedConnection);
    };
    std::unique_ptr<QThread> worker(QThread::create([&] {
        outcome = writeInkedPdf(request, error);
        finished = true;
        QMetaObject::invokeMethod(&context, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    }));
    worker->setObjectName(QStringLiteral("export-vector"));

    QTimer poll;
    poll.setInterval(kCancelPollMs);
    QObject::connect(&poll, &QTimer::timeout, &context, [&cancel, monitor] {
        if (monitor->cancelRequested())
            cancel = true;
    });
    if (monitor)
        poll.start();
    worker->start();
    if (!finished)
        loop.exec(monitor ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    // Drop the posted calls that reference this frame.
    QCoreApplication::removePostedEvents(&context);
    return outcome;
}

} // namespace

PdfExportWay pdfExportWay()
{
    return pdfExportMode() == int(PdfExportWay::PageImages) ? PdfExportWay::PageImages
                                                             : PdfExportWay::KeepOriginal;
}

QString keptAsPageImagesText()
{
    return QStringLiteral("原文无法保留，已按整页图片导出");
}

PdfShareResult exportSharedPdf(const ExportSource &source, const QString &target, PdfExportWay way,
                               ExportMonitor *monitor)
{
    PdfShareResult result;
    if (source.pageSizes.isEmpty()) {
        result.error = QStringLiteral("文档没有可导出的页面");
        return result;
    }
    if (way == PdfExportWay::KeepOriginal) {
        // The ink as the canvas holds it: the same reading of the annotation
        // object, so the same strokes are drawn.
        const InkPages ink = inkFromAnnotations(QJsonObject{{QStringLiteral("pages"), source.pages}});
        InkedPdfRequest request;
        request.sourcePath = source.pdfPath;
        request.password = source.password;
        request.target = target;
        request.shownSizes = source.pageSizes;
        for (auto it = ink.cbegin(); it != ink.cend(); ++it) {
            if (it.key() >= 0 && it.key() < source.pageSizes.size())
                request.inkedPages.append(InkedPage{it.key(), inkAlphas(it.value())});
        }
        request.marks = [ink](int page, const QSizeF &shown) { return inkMarks(ink.value(page), shown); };

        QString message;
        switch (writeBesideEvents(request, monitor, &message)) {
        case InkedPdfOutcome::Written:
            result.ok = true;
            return result;
        case InkedPdfOutcome::Cancelled:
            result.error = exportCancelledText();
            return result;
        case InkedPdfOutcome::Failed:
            result.error = message;
            return result;
        case InkedPdfOutcome::Refused:
            result.fellBack = true;
            result.fallbackReason = message;
            break;
        }
    }
    result.ok = exportInjectedPdf(source, target, &result.error, kDefaultPdfDpi, monitor);
    return result;
}
