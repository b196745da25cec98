#include "canvas/pdfcanvas.h"

#include "ui/glyphs.h"
#include "ui/theme.h"
#include "ui/uimetrics.h"
#include "system/crashreport.h"
#include "system/diaglog.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

struct PaintCounters
{
    int depth = 0;
    int maxDepth = 0;
    int frames = 0;
    int refusals = 0;
    bool themeLogged = false;
};

PaintCounters &counters()
{
    static PaintCounters c;
    return c;
}

// Once-per-second diagnostic summary of what the canvas did.
struct Probe
{
    QElapsedTimer clock;
    int inputEvents = 0;
    int inputSamples = 0;
    int frames = 0;
    int rasters = 0;
    double zoom = 1.0;

    // Returns the line to log, or an empty string while the second runs.
    QString take()
    {
        constexpr qint64 kPeriodMs = 1000;
        if (!clock.isValid()) {
            clock.start();
            return QString();
        }
        if (clock.elapsed() < kPeriodMs)
            return QString();
        const QString line = QStringLiteral("每秒：输入 %1 事件（样本 %2）| 重绘 %3 帧 | 栅格化块 %4 | 缩放 %5x")
                                     .arg(inputEvents).arg(inputSamples).arg(frames).arg(rasters)
                                     .arg(zoom, 0, 'f', 2);
        inputEvents = inputSamples = frames = rasters = 0;
        clock.restart();
        return line;
    }
};

Probe &probe()
{
    static Probe p;
    return p;
}

struct ShadowLayer
{
    double spread;
    double offset;
    int alpha;
};
constexpr ShadowLayer kShadowLayers[] = { { 2, 2, 30 }, { 5, 6, 20 }, { 11, 12, 13 } };

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

} // namespace

int PdfCanvas::paintCount()
{
    return counters().frames;
}

int PdfCanvas::paintRefusals()
{
    return counters().refusals;
}

void PdfCanvas::noteProbeInput(int events, int samples)
{
    probe().inputEvents += events;
    probe().inputSamples += samples;
}

void PdfCanvas::noteProbeRaster()
{
    ++probe().rasters;
}

void PdfCanvas::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    checkDeviceRatio();
    QPainter painter(viewport());
    m_painting = true;
    paintCanvas(painter);
    m_painting = false;
}

void PdfCanvas::paintCanvas(QPainter &painter)
{
    PaintCounters &c = counters();
    if (c.depth >= 1) {
        recordOperation("paint-nested", QStringLiteral("绘制嵌套第 %1 层，已截断").arg(c.depth + 1));
        ++c.refusals;
        return;
    }
    ++c.depth;
    c.maxDepth = std::max(c.maxDepth, c.depth);
    ++c.frames;
    ++probe().frames;
    probe().zoom = m_zoom;
    if (isLogEnabled()) {
        const QString line = probe().take();
        if (!line.isEmpty())
            logInfo(QStringLiteral("probe"), line);
    }

    paintDeskAndBand(painter);

    if (m_slots.isEmpty()) {
        paintEmptyState(painter);
        --c.depth;
        return;
    }

    const Theme &t = theme();
    const double top = verticalScrollBar()->value();
    const double bottom = top + viewport()->height();
    QList<int> visible;
    for (int i = 0; i < m_slots.size(); ++i) {
        const PageSlot &slot = m_slots.at(i);
        if (slot.top + slot.height < top)
            continue;
        if (slot.top > bottom)
            break;
        visible.append(i);
    }

    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    const double R = m_cornerRadius;
    for (const int page : visible) {
        const QRectF s = pageRect(page);
        for (const ShadowLayer &layer : kShadowLayers) {
            const QRectF r = s.adjusted(-layer.spread, layer.offset - layer.spread,
                                        layer.spread, layer.offset + layer.spread);
            painter.setBrush(withAlpha(t.paperShadow, layer.alpha));
            painter.drawRoundedRect(r, R + layer.spread, R + layer.spread);
        }
    }

    for (const int page : visible) {
        const QRectF s = pageRect(page);
        QPainterPath sheetPath;
        sheetPath.addRoundedRect(s, R, R);
        // Rendered pages are transparent where the PDF draws nothing; the
        // paper goes underneath.
        painter.fillPath(sheetPath, t.paper);

        painter.save();
        if (R > 0) {
            if (!painter.hasClipping()) {
                painter.setClipPath(sheetPath, Qt::IntersectClip);
            } else {
                const QRectF clip = painter.clipBoundingRect();
                const QRectF corners[] = {
                    QRectF(s.left(), s.top(), R, R),
                    QRectF(s.right() - R, s.top(), R, R),
                    QRectF(s.left(), s.bottom() - R, R, R),
                    QRectF(s.right() - R, s.bottom() - R, R, R),
                };
                const bool touchesCorner = std::any_of(std::begin(corners), std::end(corners),
                        [&](const QRectF &corner) { return corner.intersects(clip); });
                if (touchesCorner)
                    painter.setClipPath(sheetPath, Qt::IntersectClip);
            }
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !m_pinchInFlight);
        paintPageTiles(painter, page, s);
        painter.restore();
        painter.setRenderHint(QPainter::Antialiasing, true);

        paintPageInk(painter, page, s);

        QPen edge(t.paperEdge, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
        painter.setPen(edge);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(sheetPath);
        painter.setPen(Qt::NoPen);
    }
    paintEraserIndicator(painter);
    prefetchAhead(visible);

    --c.depth;
}

void PdfCanvas::paintDeskAndBand(QPainter &painter)
{
    const Theme &t = theme();
    const QRect area = viewport()->rect();
    painter.fillRect(area, t.desk);
    QLinearGradient band(0, area.top(), 0, area.top() + m_bandHeight);
    band.setColorAt(0, t.deskEdge);
    band.setColorAt(1, t.desk);
    painter.fillRect(QRectF(area.left(), area.top(), area.width(), m_bandHeight), band);

    PaintCounters &c = counters();
    if (!c.themeLogged) {
        c.themeLogged = true;
        const int mode = appearance().mode == 0 ? resolvedScheme() : appearance().mode;
        logInfo(QStringLiteral("theme"), QStringLiteral("paint: 解析 %1 pal=%2 desk=%3,%4,%5")
                                                 .arg(mode)
                                                 .arg(quint64(themeIdentity()))
                                                 .arg(t.desk.red()).arg(t.desk.green())
                                                 .arg(t.desk.blue()));
    }
}

void PdfCanvas::paintEmptyState(QPainter &painter)
{
    const Theme &t = theme();
    const QFont base = font();
    const double h = std::max(QFontMetricsF(base).height(), 12.0);
    const QFont titleFont = scaledFont(base, 1.85, 700);
    const QFont hintFont = scaledFont(base, 1.1, 500);
    const double ht = QFontMetricsF(titleFont).height();
    const double hh = QFontMetricsF(hintFont).height();
    const double vw = viewport()->width();
    const double vh = viewport()->height();

    const int b = int(std::max(6.4 * h, 104.0));
    const double boxTop = std::max((vh - (ht + (b + 16) + 8 + hh)) / 2, 32.0);
    const QRectF box((vw - b) / 2, boxTop, b, b);

    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(withAlpha(t.accent, 51), 1));
    painter.setBrush(withAlpha(t.accent, 20));
    painter.drawRoundedRect(box, 0.28 * b, 0.28 * b);

    const int g = int(b * 0.46);
    const QRectF glyph(box.center().x() - g / 2.0, box.center().y() - g / 2.0, g, g);
    paintGlyph(painter, Glyph::Document, glyph, withAlpha(t.text, 208), 1.9);
    paintGlyph(painter, Glyph::PenStroke,
               QRectF(glyph.left() - 0.1 * g, glyph.top() + 0.6 * g, 1.2 * g, 0.36 * g),
               t.accent, 1.7);

    const QRectF titleRect(0, box.bottom() + 16, vw, ht);
    painter.setFont(titleFont);
    painter.setPen(t.text);
    painter.drawText(titleRect, Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("青简批注"));

    const QRectF hintRect(0, titleRect.bottom() + 8, vw, hh);
    painter.setFont(hintFont);
    painter.setPen(t.textMuted);
    painter.drawText(hintRect, Qt::AlignHCenter | Qt::AlignVCenter,
                     QStringLiteral("点击“打开”，或把 PDF / .dpz 批注包拖进来"));
}

void PdfCanvas::scrollContentsBy(int dx, int dy)
{
    if (dx == 0 && dy == 0) {
        viewport()->update();
        return;
    }
    viewport()->scroll(dx, dy);
    placeAddPageTile();
    // The desk shade and the eraser ring stay put while the sheets move under them.
    const QRect area = viewport()->rect();
    viewport()->update(QRect(area.left(), area.top(), area.width(), int(std::ceil(m_bandHeight))));
    const double ring = eraserIndicatorRadius();
    if (ring > 0) {
        const QRectF square(m_hoverPoint - QPointF(ring + 4, ring + 4),
                            QSizeF(2 * ring + 8, 2 * ring + 8));
        viewport()->update(square.toAlignedRect() | square.translated(dx, dy).toAlignedRect());
    }
}

QString PdfCanvas::canvasStyleSheet()
{
    const Theme &t = theme();
    const QString handle = cssColor(withAlpha(t.text, 58));
    const QString hover = cssColor(withAlpha(t.text, 92));
    const QString pressed = cssColor(withAlpha(t.accent, 176));
    const QString vertical = QStringLiteral(
            "QAbstractScrollArea#pdfCanvas { border: none; background: %1; }"
            "QScrollBar:vertical { background: transparent; width: %2; margin: %3 2px %3 2px; }"
            "QScrollBar::handle:vertical { background: %4; min-height: %5; border-radius: %6; }"
            "QScrollBar::handle:vertical:hover { background: %7; }"
            "QScrollBar::handle:vertical:pressed { background: %8; }"
            "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; background: transparent; }"
            "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }")
            .arg(cssColor(t.deskEdge), cssPx(12), cssPx(6), handle, cssPx(48), cssPx(4), hover, pressed);
    const QString horizontal = QStringLiteral(
            "QScrollBar:horizontal { background: transparent; height: %1; margin: 2px %2 2px %2; }"
            "QScrollBar::handle:horizontal { background: %3; min-width: %4; border-radius: %5; }"
            "QScrollBar::handle:horizontal:hover { background: %6; }"
            "QScrollBar::handle:horizontal:pressed { background: %7; }"
            "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; background: transparent; }"
            "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal { background: transparent; }")
            .arg(cssPx(10), cssPx(6), handle, cssPx(48), cssPx(4), hover, pressed);
    return vertical + horizontal;
}

void PdfCanvas::applyCanvasTheme()
{
    setStyleSheet(canvasStyleSheet());
    viewport()->update();
    update();
}
