#include "app/selftestsmoke.h"

#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMouseEvent>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void sendMouse(QWidget *target, QEvent::Type type, const QPointF &pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// One horizontal stroke across the first page at height fraction y.
void drawStroke(PdfCanvas *canvas, double y)
{
    constexpr int kSamples = 12;
    const QRectF page = canvas->pageRect(0);
    QWidget *viewport = canvas->viewport();
    const auto at = [&](double x) { return QPointF(page.left() + page.width() * x, page.top() + page.height() * y); };
    sendMouse(viewport, QEvent::MouseButtonPress, at(0.2), Qt::LeftButton);
    for (int i = 1; i <= kSamples; ++i)
        sendMouse(viewport, QEvent::MouseMove, at(0.2 + 0.6 * i / kSamples), Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, at(0.8), Qt::NoButton);
}

} // namespace

int runSmokeSelfTest(const QString &file)
{
    constexpr int kStrokes = 3;
    MainWindow window;
    window.show();
    window.openPath(file);
    if (window.documentCount() != 1) {
        say(QStringLiteral("FAIL smoke: could not open %1").arg(file));
        return 1;
    }
    PdfCanvas *canvas = window.canvas(0);
    // Wait until the first page lies in the viewport.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const QRectF page = canvas->pageRect(0);
        if (!page.isEmpty() && QRectF(canvas->viewport()->rect()).intersects(page))
            break;
    }
    const int restored = canvas->strokeCount();
    say(QStringLiteral("smoke: restored_strokes=%1").arg(restored));
    // Fresh rows below the restored ones, so every run adds visible ink.
    for (int i = 0; i < kStrokes; ++i)
        drawStroke(canvas, 0.1 + 0.04 * ((restored + i) % 20));
    const int strokes = canvas->strokeCount();
    say(QStringLiteral("smoke: strokes=%1").arg(strokes));
    if (strokes != restored + kStrokes) {
        say(QStringLiteral("FAIL smoke: expected %1 strokes, have %2").arg(restored + kStrokes).arg(strokes));
        return 1;
    }
    say(QStringLiteral("PASS smoke: wrote %1 strokes on %2").arg(kStrokes).arg(file));
    return QApplication::exec();
}
