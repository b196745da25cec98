#pragma once

#include "files/pdfexport.h"

class PdfCanvas;

// Exports of an open canvas: what its document and ink are now, handed to
// the exports in files/pdfexport.h with the ink's own painter.

// Empty (no pages) without a canvas or a document.
ExportSource exportSource(const PdfCanvas *canvas);

bool exportInjectedPdf(PdfCanvas *canvas, const QString &target, QString *error = nullptr,
                       double dpi = kDefaultPdfDpi, ExportMonitor *monitor = nullptr);
int exportPngPages(PdfCanvas *canvas, const QString &base, QString *error = nullptr,
                   double dpi = kDefaultPngDpi, ExportMonitor *monitor = nullptr,
                   QStringList *written = nullptr);
