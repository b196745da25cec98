#pragma once

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QPainter;
class QPdfDocument;

// Exports of a document with its ink burnt in: a new PDF holding one JPEG
// raster per page, or one PNG file per page. The source PDF is never
// touched; pages are painted from the PDF and the annotation object only,
// so no tool overlay of the canvas can reach an export.

// Paints one page's strokes (that page's array of the annotation object)
// onto a page image of size pixels. The ink layer supplies it, so the export
// needs nothing of how strokes are drawn; it runs on a worker thread.
using ExportInkPainter = void (*)(QPainter &painter, const QJsonArray &strokes, const QSize &size);

// What an export needs from an open document, taken on the GUI thread
// (exportSource() in canvas/canvasexport.h).
struct ExportSource
{
    QString pdfPath;
    QString password;            // of a locked PDF, as the canvas opened it
    QList<QSizeF> pageSizes;     // points
    QJsonObject pages;           // the annotation object's "pages"
    ExportInkPainter paintInk = nullptr;
};

// Watches a running export from the thread that started it. progress() is
// called there after each finished page; cancelRequested() is polled.
class ExportMonitor
{
public:
    virtual ~ExportMonitor() = default;
    virtual void progress(int done, int total) = 0;
    virtual bool cancelRequested() const = 0;
};

// Error text of an export the monitor cancelled.
QString exportCancelledText();

constexpr double kDefaultPdfDpi = 150;
constexpr double kDefaultPngDpi = 96;
// Pixel budget of one page raster, whatever the page size and resolution.
constexpr double kMaxPagePixels = 40000000.0;

// Pixel size of a page of pagePt points rendered at dpi, within
// kMaxPagePixels; empty for a page size that is not positive.
QSize exportPixelSize(const QSizeF &pagePt, double dpi);

// One page rendered at pixelSize by document (on any thread: the PDF engine
// serialises itself), without ink. Null on failure.
QImage renderExportPage(QPdfDocument *document, int page, const QSize &pixelSize);
// Lays the raw rendering on white and paints the strokes of pages[page]
// over it in place with paintInk; the result is an opaque RGB image.
void finishExportPage(QImage *image, int page, const QJsonObject &pages, ExportInkPainter paintInk);

// The injected PDF: returns success; error gets the Chinese message.
// Values of dpi below 1 mean 150. Runs the rendering and encoding on worker
// threads while the calling thread's events keep running (user input waits
// unless a monitor is given, whose dialog the caller makes modal).
bool exportInjectedPdf(const ExportSource &source, const QString &target, QString *error = nullptr,
                       double dpi = kDefaultPdfDpi, ExportMonitor *monitor = nullptr);

// One PNG per page named by pngPageName(base, i, n): returns the number of
// files written, or -1 (every page written so far is deleted again). Values
// of dpi below 1 mean 96. base is the chosen name without ".png".
int exportPngPages(const ExportSource &source, const QString &base, QString *error = nullptr,
                   double dpi = kDefaultPngDpi, ExportMonitor *monitor = nullptr,
                   QStringList *written = nullptr);

// "<base without extension>-<page, zero-padded to the digits of count>.png".
QString pngPageName(const QString &base, int page, int count);

// The first of targets that names one of sources (absolute paths compared
// without regard to letter case; empty sources are skipped), else empty.
QString sourceAmongTargets(const QStringList &targets, const QStringList &sources);
