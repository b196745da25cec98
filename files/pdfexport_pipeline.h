#pragma once

#include "files/pdfexport.h"

// Where finished pages go. Every call runs on the pipeline's encoder thread,
// one page at a time in page order.
class ExportSink
{
public:
    virtual ~ExportSink() = default;
    // Before the first page (opening the target).
    virtual bool begin(int pageCount, QString *error) = 0;
    // page counts from 0; image is the finished RGB raster of pagePt points.
    virtual bool addPage(int page, const QImage &image, const QSizeF &pagePt, QString *error) = 0;
    // After the last page: make the result visible.
    virtual bool finish(QString *error) = 0;
    // After a failure or a cancel: nothing of this export may remain.
    virtual void abandon() = 0;
};

// Renders every page of source at dpi on one thread while a second thread
// finishes, encodes and hands each page to sink, so both cores work. Pages
// in flight are bounded by count and bytes, so memory stays flat for any
// page count. The calling thread runs its event loop meanwhile (user input
// deferred unless monitor is given) and polls monitor for a cancel.
bool runExportPipeline(const ExportSource &source, double dpi, ExportSink *sink,
                       ExportMonitor *monitor, QString *error);
