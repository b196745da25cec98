#include "bench/benchinput.h"
#include "bench/benchutil.h"

#include "canvas/pdfcanvas.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointingDevice>
#include <QRandomGenerator>
#include <QTouchEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

// Per-event cost of the touch handler (classifier, pinch filter, capture and
// palm erasing) and per-sample cost of erasing through a lot of ink.

using BenchUtil::percentile;

namespace {

constexpr int kTouchEvents = 4000;

void printStats(const char *prefix, const QList<double> &ms)
{
    std::printf("%s_ms_median=%.4f\n", prefix, percentile(ms, 0.5));
    std::printf("%s_ms_p99=%.4f\n", prefix, percentile(ms, 0.99));
    std::fflush(stdout);
}

const QPointingDevice *benchTouchDevice()
{
    static const QPointingDevice device(QStringLiteral("bench touch"), 9001,
                                        QInputDevice::DeviceType::TouchScreen,
                                        QPointingDevice::PointerType::Finger,
                                        QInputDevice::Capability::Position
                                                | QInputDevice::Capability::Area,
                                        10, 0);
    return &device;
}

// One frame of the scripted sequence: phase 0 writes with one finger, phase 1
// rests a palm (five close contacts), phase 2 pinches with two fingers.
QList<QEventPoint> frame(int phase, int step, QEventPoint::State state, QPointF origin)
{
    QList<QEventPoint> points;
    const double t = step % 200;
    if (phase == 0) {
        const QPointF p = origin + QPointF(2.0 * t, 40 * std::sin(t / 15));
        points.append(QEventPoint(0, state, p, p));
    } else if (phase == 1) {
        const QPointF c = origin + QPointF(1.5 * t, 60);
        for (int i = 0; i < 5; ++i) {
            const QPointF p = c + QPointF(14 * i, 6 * (i % 2));
            points.append(QEventPoint(i, state, p, p));
        }
    } else {
        const QPointF a = origin + QPointF(-100 - 0.5 * t, 100);
        const QPointF b = origin + QPointF(100 + 0.5 * t, 100);
        points.append(QEventPoint(0, state, a, a));
        points.append(QEventPoint(1, state, b, b));
    }
    return points;
}

QList<double> runTouchSequence(PdfCanvas &canvas, int count, bool repaint)
{
    QWidget *vp = canvas.viewport();
    const QRectF sheet = canvas.pageRect(0);
    const QPointF origin = sheet.center() - QPointF(sheet.width() * 0.25, 0);
    QList<double> times;
    times.reserve(count);
    constexpr int kPerGesture = 200;
    int sent = 0;
    int gesture = 0;
    QElapsedTimer timer;
    while (sent < count) {
        const int phase = gesture % 3;
        for (int step = 0; step < kPerGesture && sent < count; ++step, ++sent) {
            QEvent::Type type = QEvent::TouchUpdate;
            QEventPoint::State state = QEventPoint::State::Updated;
            if (step == 0) {
                type = QEvent::TouchBegin;
                state = QEventPoint::State::Pressed;
            } else if (step == kPerGesture - 1) {
                type = QEvent::TouchEnd;
                state = QEventPoint::State::Released;
            }
            QTouchEvent event(type, benchTouchDevice(), Qt::NoModifier,
                              frame(phase, step, state, origin));
            timer.start();
            QCoreApplication::sendEvent(vp, &event);
            if (repaint)
                vp->repaint();
            times.append(double(timer.nsecsElapsed()) / 1e6);
        }
        ++gesture;
        // Let the 250 ms lock release and the zoom settle between gestures.
        canvas.undo();
        canvas.fitWidth(true);
    }
    return times;
}

} // namespace

QJsonObject generatedInk(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    QJsonArray strokes;
    for (int s = 0; s < count; ++s) {
        double x = 0.05 + 0.85 * random.generateDouble();
        double y = 0.05 + 0.85 * random.generateDouble();
        QJsonArray points;
        for (int i = 0; i < 60; ++i) {
            x = std::clamp(x + 0.0015 * (random.generateDouble() - 0.3), 0.0, 1.0);
            y = std::clamp(y + 0.0015 * (random.generateDouble() - 0.5), 0.0, 1.0);
            points.append(x);
            points.append(y);
        }
        strokes.append(QJsonObject{ { QStringLiteral("c"), QStringLiteral("#1565c0") },
                                    { QStringLiteral("w"), 0.003 },
                                    { QStringLiteral("p"), points } });
    }
    return QJsonObject{ { QStringLiteral("version"), 1 },
                        { QStringLiteral("pages"),
                          QJsonObject{ { QStringLiteral("0"), strokes } } } };
}

namespace {

} // namespace

void benchTouchInput(PdfCanvas &canvas)
{
    const bool palm = canvas.palmEraserEnabled();
    canvas.setPalmEraserEnabled(true);
    canvas.setTool(PdfCanvas::InkTool::Pen);
    canvas.fitWidth(true);
    printStats("touch_event", runTouchSequence(canvas, kTouchEvents, false));
    // Repaints on a 4K canvas full of ink are slow; a shorter run suffices.
    constexpr int kRepaintEvents = 600;
    printStats("touch_event_repaint", runTouchSequence(canvas, kRepaintEvents, true));
    canvas.setPalmEraserEnabled(palm);
}

void benchErasing(PdfCanvas &canvas, int strokes)
{
    canvas.importAnnotations(generatedInk(strokes));
    canvas.fitWidth(true);
    const QRectF sheet = canvas.pageRect(0);
    const double radius = 26;
    QList<double> times;
    constexpr int kSamples = 600;
    times.reserve(kSamples);
    QPointF last = sheet.topLeft() + QPointF(sheet.width() * 0.1, sheet.height() * 0.1);
    QElapsedTimer timer;
    for (int i = 1; i <= kSamples; ++i) {
        // A zig-zag over the page in 6 px steps, like a moving eraser.
        const double t = double(i) / kSamples;
        const QPointF next = sheet.topLeft()
                + QPointF(sheet.width() * (0.1 + 0.8 * std::abs(std::sin(t * 12))),
                          sheet.height() * (0.1 + 0.5 * t));
        timer.start();
        canvas.sweepErase(canvas.pageAt(next), last, next, radius);
        times.append(double(timer.nsecsElapsed()) / 1e6);
        last = next;
    }
    std::printf("erase_strokes=%d\n", strokes);
    std::printf("erase_strokes_after=%d\n", canvas.strokeCount());
    const QByteArray prefix = QByteArray("erase_sample_") + QByteArray::number(strokes);
    printStats(prefix.constData(), times);
}
