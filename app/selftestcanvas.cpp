#include "app/selftestcanvas.h"

#include "app/mainwindow.h"
#include "app/selftestreport.h"
#include "canvas/pdfcanvas.h"
#include "files/workingcopy.h"
#include "island/inktoolbar.h"
#include "island/palettecard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>

namespace {

constexpr QRgb kFill = qRgb(30, 110, 190);

QImage grabViewport(PdfCanvas *canvas)
{
    return canvas->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// What floats over the pages (the island and its cards), viewport coordinates.
QList<QRectF> overlays(PdfCanvas *canvas)
{
    QList<QRectF> rects;
    for (QWidget *widget : canvas->window()->findChildren<QWidget *>()) {
        if (widget->isVisible() && (qobject_cast<InkToolbar *>(widget) || qobject_cast<PaletteCard *>(widget)))
            rects.append(QRectF(canvas->viewport()->mapFromGlobal(widget->mapToGlobal(QPoint(0, 0))), widget->size())
                             .adjusted(-24, -24, 24, 24)); // and their soft shadows
    }
    return rects;
}

bool covered(const QList<QRectF> &rects, const QPointF &point)
{
    return std::any_of(rects.begin(), rects.end(), [&](const QRectF &r) { return r.contains(point); });
}

int channelDistance(QRgb a, QRgb b)
{
    return std::max({ std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)) });
}

QRgb pixelAt(const QImage &image, const QPointF &logical)
{
    const QPoint p = (logical * image.devicePixelRatio()).toPoint();
    return image.valid(p) ? image.pixel(p) : 0;
}

void sendMouse(QWidget *target, QEvent::Type type, const QPointF &pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Points of a horizontal stroke across the page at height fraction y.
QList<QPointF> strokePath(const QRectF &page, double y)
{
    QList<QPointF> points;
    constexpr int kSamples = 16;
    for (int i = 0; i <= kSamples; ++i)
        points.append(QPointF(page.left() + page.width() * (0.25 + 0.5 * i / kSamples), page.top() + page.height() * y));
    return points;
}

void drawStroke(QWidget *viewport, const QList<QPointF> &points)
{
    sendMouse(viewport, QEvent::MouseButtonPress, points.first(), Qt::LeftButton);
    for (int i = 1; i < points.size(); ++i)
        sendMouse(viewport, QEvent::MouseMove, points.at(i), Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, points.last(), Qt::NoButton);
}

// Share of the path's points whose pixel differs from before (changed) or
// matches it again (!changed).
double shareOnPath(const QImage &before, const QImage &after, const QList<QPointF> &points, bool changed)
{
    int hits = 0;
    for (const QPointF &p : points) {
        const bool differs = channelDistance(pixelAt(before, p), pixelAt(after, p)) > 40;
        hits += differs == changed ? 1 : 0;
    }
    return points.isEmpty() ? 0 : double(hits) / points.size();
}

QString percent(double share)
{
    return QStringLiteral("%1%").arg(qRound(share * 100));
}

} // namespace

int runInkSelfTest(const QString &file)
{
    SelfTestReport report(QStringLiteral("ink"));
    QTemporaryDir dir;
    const QString copy = dir.filePath(QFileInfo(file).fileName());
    if (!QFileInfo(file).isFile() || !dir.isValid() || !QFile::copy(file, copy)) {
        qWarning("--selftest-ink: 无法打开 %s", qPrintable(file));
        report.check(false, QStringLiteral("打开 %1").arg(file));
        return report.finish();
    }
    {
        MainWindow window;
        PdfCanvas *canvas = openAndShow(&window, copy, &report);
        if (!canvas)
            return report.finish();
        canvas->setTool(PdfCanvas::InkTool::Pen);
        const QRectF page = canvas->pageRect(canvas->currentPage()).intersected(QRectF(canvas->viewport()->rect()));
        const int strokesBefore = canvas->strokeCount();
        const QImage clean = grabViewport(canvas);
        const double rows[] = { 0.3, 0.5, 0.7 };
        for (const double y : rows)
            drawStroke(canvas->viewport(), strokePath(page, y));
        report.check(canvas->strokeCount() == strokesBefore + 3, QStringLiteral("三笔都已记录"),
                     QStringLiteral("笔画数 %1 → %2").arg(strokesBefore).arg(canvas->strokeCount()));

        QImage inked;
        double worst = 1;
        waitUntil([&] {
            inked = grabViewport(canvas);
            worst = 1;
            for (const double y : rows)
                worst = std::min(worst, shareOnPath(clean, inked, strokePath(page, y), true));
            return worst >= 0.9;
        }, 5000);
        report.check(worst >= 0.9, QStringLiteral("笔迹画在落笔的位置"), QStringLiteral("笔迹覆盖 %1").arg(percent(worst)));

        canvas->undo();
        double restored = 0;
        waitUntil([&] {
            restored = shareOnPath(clean, grabViewport(canvas), strokePath(page, rows[2]), false);
            return restored >= 0.9;
        }, 5000);
        report.check(canvas->strokeCount() == strokesBefore + 2 && restored >= 0.9, QStringLiteral("撤销擦去最后一笔"),
                     QStringLiteral("笔画数 %1，复原 %2").arg(canvas->strokeCount()).arg(percent(restored)));
        canvas->clearInk();
        report.check(canvas->strokeCount() == 0, QStringLiteral("清除全部笔迹"));
    }
    // The copy's working copy goes with the copy.
    QFile::remove(workingCopyPath(copy));
    return report.finish();
}

int runTileClipSelfTest(const QString &folder)
{
    SelfTestReport report(QStringLiteral("tileclip"));
    QTemporaryDir dir;
    MainWindow window;
    PdfCanvas *canvas = openFilledPdf(&window, dir.filePath(QStringLiteral("图块自检.pdf")), 2, kFill, &report);
    if (!canvas)
        return report.finish();
    // Zooms whose page edges and tile edges fall between device pixels.
    for (const double zoom : { 0.37, 0.73, 1.13, 1.37, 2.71 }) {
        canvas->setZoom(zoom);
        int bad = 0;
        QRect area;
        const bool seamless = waitUntil([&] {
            if (canvas->isZoomInFlight())
                return false;
            const QImage image = grabViewport(canvas);
            const double ratio = image.devicePixelRatio();
            const QRectF visible = canvas->pageRect(canvas->currentPage()).intersected(QRectF(canvas->viewport()->rect()));
            area = QRectF(visible.topLeft() * ratio, visible.size() * ratio).toAlignedRect().adjusted(3, 3, -3, -3);
            const QList<QRectF> above = overlays(canvas);
            bad = 0;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
                for (int x = area.left(); x <= area.right(); ++x) {
                    if (channelDistance(line[x], kFill) > 12 && !covered(above, QPointF(x, y) / ratio))
                        ++bad;
                }
            }
            return area.width() > 20 && area.height() > 20 && bad == 0;
        }, 8000);
        const QSize grid = canvas->tileGrid(canvas->currentPage());
        const QString shot = saveScreenshot(canvas->viewport(), folder,
                                            QStringLiteral("tileclip-%1").arg(qRound(zoom * 100)));
        report.check(seamless, QStringLiteral("缩放 %1% 时图块拼接无缝").arg(qRound(zoom * 100)),
                     QStringLiteral("图块 %1×%2，查看 %3×%4 像素，异色 %5%6")
                         .arg(grid.width()).arg(grid.height()).arg(area.width()).arg(area.height()).arg(bad)
                         .arg(shot.isEmpty() ? QString() : QStringLiteral("，截图 ") + shot));
    }
    return report.finish();
}

int runScrollSelfTest(const QString &folder)
{
    SelfTestReport report(QStringLiteral("scroll"));
    QTemporaryDir dir;
    MainWindow window;
    PdfCanvas *canvas = openFilledPdf(&window, dir.filePath(QStringLiteral("滚动自检.pdf")), 8, kFill, &report);
    if (!canvas)
        return report.finish();
    QScrollBar *bar = canvas->verticalScrollBar();
    QWidget *viewport = canvas->viewport();
    const QPointF centre = QRectF(viewport->rect()).center();
    const auto wheel = [&](int notches) {
        QWheelEvent event(centre, viewport->mapToGlobal(centre), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    };
    const int top = bar->value();
    wheel(-3);
    const bool down = waitUntil([&] { return bar->value() > top; }, 3000);
    const int afterDown = bar->value();
    report.check(down, QStringLiteral("滚轮向下滚动"), QStringLiteral("%1 → %2，共 %3").arg(top).arg(afterDown).arg(bar->maximum()));
    wheel(3);
    const bool up = waitUntil([&] { return bar->value() < afterDown; }, 3000);
    report.check(up, QStringLiteral("滚轮向上滚动"), QStringLiteral("%1 → %2").arg(afterDown).arg(bar->value()));

    // A finger flick upwards: the content follows the finger, then glides on.
    const int start = bar->value();
    QElapsedTimer clock;
    clock.start();
    for (int step = 1; step <= 8; ++step) {
        waitUntil([&] { return clock.elapsed() >= step * 16; }, 1000);
        canvas->scrollBy(0, -40);
        canvas->addPanSample(0, -40);
    }
    const int released = bar->value();
    report.check(released > start, QStringLiteral("手指拖动时内容跟随"), QStringLiteral("%1 → %2").arg(start).arg(released));
    const bool gliding = canvas->startFling();
    const bool rested = waitUntil([&] { return !canvas->isGliding(); }, 8000);
    report.check(gliding && bar->value() > released, QStringLiteral("松手后惯性滑动"),
                 QStringLiteral("%1 → %2").arg(released).arg(bar->value()));
    report.check(rested, QStringLiteral("惯性滑动自行停下"));

    double painted = 0;
    waitUntil([&] {
        const QImage image = grabViewport(canvas);
        const QRectF visible = canvas->pageRect(canvas->currentPage()).intersected(QRectF(viewport->rect()));
        const QList<QRectF> above = overlays(canvas);
        int good = 0;
        int total = 0;
        for (double y = visible.top() + 4; y < visible.bottom() - 4; y += 7) {
            for (double x = visible.left() + 4; x < visible.right() - 4; x += 7) {
                if (covered(above, QPointF(x, y)))
                    continue;
                ++total;
                good += channelDistance(pixelAt(image, QPointF(x, y)), kFill) <= 12 ? 1 : 0;
            }
        }
        painted = total > 0 ? double(good) / total : 0;
        return painted >= 0.99;
    }, 8000);
    const QString shot = saveScreenshot(viewport, folder, QStringLiteral("scroll"));
    report.check(painted >= 0.99, QStringLiteral("滚动到的页面已画出"),
                 QStringLiteral("第 %1 页，%2 已画出%3").arg(canvas->currentPage() + 1).arg(percent(painted))
                     .arg(shot.isEmpty() ? QString() : QStringLiteral("，截图 ") + shot));
    return report.finish();
}
