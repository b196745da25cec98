#include "canvas/canvasexport.h"

#include "canvas/pdfcanvas.h"
#include "ink/annotationpaint.h"

ExportSource exportSource(const PdfCanvas *canvas)
{
    ExportSource source;
    if (!canvas || !canvas->hasDocument())
        return source;
    source.pdfPath = canvas->path();
    source.password = canvas->password();
    for (int i = 0; i < canvas->pageCount(); ++i)
        source.pageSizes.append(canvas->pageSizePt(i));
    source.pages = canvas->exportAnnotations().value(QStringLiteral("pages")).toObject();
    source.paintInk = &paintAnnotationStrokes;
    return source;
}

bool exportInjectedPdf(PdfCanvas *canvas, const QString &target, QString *error, double dpi,
                       ExportMonitor *monitor)
{
    if (!canvas) {
        if (error)
            *error = QStringLiteral("无效的文档");
        return false;
    }
    return exportInjectedPdf(exportSource(canvas), target, error, dpi, monitor);
}

int exportPngPages(PdfCanvas *canvas, const QString &base, QString *error, double dpi,
                   ExportMonitor *monitor, QStringList *written)
{
    if (!canvas) {
        if (error)
            *error = QStringLiteral("无效的文档");
        return -1;
    }
    return exportPngPages(exportSource(canvas), base, error, dpi, monitor, written);
}
