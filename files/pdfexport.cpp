// Page rasters of the exports: size, rendering and the ink painted from the
// annotation object.
#include "files/pdfexport.h"

#include "canvas/pdfcanvas.h"
#include "ink/strokegeometry.h"

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

constexpr double kDefaultStrokeWidth = 0.004;
// Imported ink may hold any number; like the canvas, keep coordinates within
// a few page sizes and widths within one page width so that no value can
// overwhelm the rasteriser. Visible pages are unaffected for sane data.
constexpr double kFarFraction = 4.0;
constexpr double kMaxWidthFraction = 1.0;
constexpr double kMaxFactor = 16.0;

double clampFraction(double v)
{
    return std::clamp(v, -kFarFraction, 1.0 + kFarFraction);
}

int roundedDimension(double v)
{
    const double r = std::round(v); // half away from zero
    return r < 2 ? 1 : int(r);
}

void paintStroke(QPainter &painter, const QJsonObject &stroke, const QSize &size)
{
    const QJsonArray p = stroke.value(QStringLiteral("p")).toArray();
    if (p.size() < 2)
        return;
    QColor color = QColor::fromString(stroke.value(QStringLiteral("c")).toString());
    if (!color.isValid())
        color = Qt::red;
    const QJsonValue wValue = stroke.value(QStringLiteral("w"));
    const double w = wValue.isDouble() ? std::min(wValue.toDouble(), kMaxWidthFraction)
                                       : kDefaultStrokeWidth;
    const QJsonArray wf = stroke.value(QStringLiteral("wf")).toArray();
    const bool hasFactors = wf.size() * 2 == p.size();

    const double width = std::max(size.width() * w, 1.0);
    const double sx = size.width() - 1;
    const double sy = size.height() > 1 ? size.height() - 1 : 0;
    QVector<QPointF> points;
    QVector<double> factors;
    points.reserve(p.size() / 2);
    for (qsizetype i = 0; i + 1 < p.size(); i += 2)
        points.append(QPointF(clampFraction(p.at(i).toDouble()) * sx,
                              clampFraction(p.at(i + 1).toDouble()) * sy));
    bool varies = false;
    if (hasFactors) {
        factors.reserve(wf.size());
        for (const QJsonValue &f : wf) {
            const double factor = std::clamp(f.toDouble(1.0), 0.0, kMaxFactor);
            varies = varies || std::abs(factor - 1.0) > 0.01;
            factors.append(factor);
        }
    }

    if (points.size() == 1) {
        const double dot = std::max(hasFactors ? width * factors.first() : width, 1.0);
        painter.setPen(QPen(color, dot, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPoint(points.first());
        return;
    }
    if (varies) {
        const QPainterPath outline = inkOutline(points, factors, width);
        if (!outline.isEmpty()) {
            painter.fillPath(outline, color);
            return;
        }
    }
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(points.constData(), int(points.size()));
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
    return source;
}

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
    return document->render(page, pixelSize, PdfCanvas::pageRenderOptions());
}

void finishExportPage(QImage *image, int page, const QJsonObject &pages)
{
    if (!image || image->isNull())
        return;
    layOnWhite(image);

    const QJsonArray strokes = pages.value(QString::number(page)).toArray();
    if (strokes.isEmpty())
        return;
    QPainter painter(image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const QJsonValue &stroke : strokes)
        paintStroke(painter, stroke.toObject(), image->size());
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
