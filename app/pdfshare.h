#pragma once

#include "files/pdfexport.h"

// The inked PDF a teacher shares ("注入 PDF"): by default the original pages
// with the ink laid over them as vectors (text stays searchable, the file
// stays small); on request, or when the original cannot be kept, one JPEG
// per page as before.

// The values of the PdfExportMode setting.
enum class PdfExportWay { KeepOriginal = 0, PageImages = 1 };

// The way the settings ask for.
PdfExportWay pdfExportWay();

// Status-bar text (and log line) when the original could not be kept.
QString keptAsPageImagesText();

struct PdfShareResult
{
    bool ok = false;
    QString error;           // Chinese message when !ok (exportCancelledText() when cancelled)
    bool fellBack = false;   // written as page images although the original was asked for
    QString fallbackReason;  // why, for the log
};

// Writes target from source the given way, running the work beside the
// calling thread's event loop as the raster export does (monitor: progress
// and cancel). The original way falls back to page images, with fellBack
// set, when the PDF library refuses the source.
PdfShareResult exportSharedPdf(const ExportSource &source, const QString &target, PdfExportWay way,
                               ExportMonitor *monitor = nullptr);
