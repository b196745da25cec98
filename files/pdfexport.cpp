// Page rasters of the exports: size, rendering and the ink painted from the
// annotation object.
#include "files/pdfexport.h"

#include "files/pagerenderoptions.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>

#include <algorithm>
#include <cmath>

namespace {

int roundedDimension(double v)
{
    const double r = std::round(v); // half away from zero
    return r < 2 ? 1 : int(r);
}

// The rendering laid on white in place: the pixels of drawing it onto a
// white image, without a second raster or a format conversion (the engine
// leaves most of a text page transparent, which takes the fast path).
void layOnWhite(QImage *image)
{
    const bool premultiplied = image->format() == QImage::Format_ARGB32_Premultiplied;
    if (!premultiplied && image->format() != QImage::Format_ARGB32)
        image->convertTo(QImage::Format_ARGB32);
    const int w = image->width();
    for (int y = 0; y < image->height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image->scanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb p = line[x];
            const uint a = qAlpha(p);
            if (a == 255)
                continue;
            if (a == 0) {
                line[x] = 0xffffffffu;
                continue;
            }
            const uint white = 255 - a;
            const auto over = [a, white, premultiplied](uint c) {
                return premultiplied ? c + white : (c * a + 255 * white + 127) / 255;
            };
            line[x] = qRgb(int(over(uint(qRed(p)))), int(over(uint(qGreen(p)))), int(over(uint(qBlue(p)))));
        }
    }
    image->reinterpretAsFormat(QImage::Format_RGB32);
}

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

QString exportCancelledText()
{
    return QStringLiteral("导出已取消");
}

QSize exportPixelSize(const QSizeF &pagePt, double dpi)
{
    if (!(pagePt.width() > 0) || !(pagePt.height() > 0) || !(dpi > 0))
        return QSize();
    double w = pagePt.width() * dpi / 72.0;
    double h = pagePt.height() * dpi / 72.0;
    if (w * h > kMaxPagePixels) {
        const double k = std::sqrt(kMaxPagePixels / (w * h));
        w *= k;
        h *= k;
    }
    return QSize(roundedDimension(w), roundedDimension(h));
}

QImage renderExportPage(QPdfDocument *document, int page, const QSize &pixelSize)
{
    if (!document || page < 0 || page >= document->pageCount() || pixelSize.isEmpty())
        return QImage();
    return document->render(page, pixelSize, pageRenderOptions());
}

void finishExportPage(QImage *image, int page, const QJsonObject &pages, ExportInkPainter paintInk)
{
    if (!image || image->isNull())
        return;
    layOnWhite(image);

    const QJsonArray strokes = pages.value(QString::number(page)).toArray();
    if (strokes.isEmpty() || !paintInk)
        return;
    QPainter painter(image);
    painter.setRenderHint(QPainter::Antialiasing);
    paintInk(painter, strokes, image->size());
}

QString sourceAmongTargets(const QStringList &targets, const QStringList &sources)
{
    for (const QString &target : targets) {
        const QString t = cleanAbsolute(target);
        for (const QString &source : sources) {
            if (!source.isEmpty() && t.compare(cleanAbsolute(source), Qt::CaseInsensitive) == 0)
                return target;
        }
    }
    return QString();
}
