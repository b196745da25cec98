#pragma once

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>

// Helpers shared by the tests: real PDF files drawn with QPdfWriter, and the
// path of the built program for tests that run it as a child process.
namespace TestUtil {

// Writes a PDF with one page per entry of pageSizesPt (sizes in PDF points).
// Each page carries a large page number and the given text so that rendering
// can be checked by pixels. Returns false when the file cannot be written.
bool writePdf(const QString &path, const QList<QSizeF> &pageSizesPt,
              const QString &text = QString());

// Convenience: count A4 portrait pages.
bool writeA4Pdf(const QString &path, int count, const QString &text = QString());

// Absolute path of the built lectern executable.
QString lecternBinary();

// Folder with the checked-in test data.
QString dataDir();

} // namespace TestUtil

class PdfCanvas;
class QPDF;
class QPointF;
class QProcess;
class QSize;

namespace TestUtil {

// Opens pdf in canvas and shows it at size; false when either fails.
bool showCanvas(PdfCanvas &canvas, const QString &pdf, const QSize &size);
bool showCanvas(PdfCanvas &canvas, const QString &pdf);

// Viewport point at fractions (fx, fy) of a page's sheet.
QPointF pagePoint(const PdfCanvas &canvas, double fx, double fy, int page = 0);

// One mouse stroke across the first page, at height fraction y, through real
// mouse events; false when the page never got laid out.
bool drawMouseStroke(PdfCanvas *canvas, double y = 0.2);

// Waits up to a minute for a local server named name to answer while owner
// runs; true once it does.
bool waitForServer(const QString &name, QProcess *owner);

// Changes the PDF at path in place through qpdf's object model (boxes,
// rotation, outlines, damage); false, with a warning, when qpdf fails.
bool editPdf(const QString &path, const std::function<void(QPDF &)> &edit);

} // namespace TestUtil
