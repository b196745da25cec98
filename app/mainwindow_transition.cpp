// The main window's page transitions: two still pictures slide over the page
// stack while the real pages have already switched.
#include "app/mainwindow.h"

#include "app/transitionlayer.h"
#include "canvas/pdfcanvas.h"
#include "pages/homepage.h"
#include "pages/settingspage.h"
#include "platform/memtrim.h"

#include <QEasingCurve>
#include <QLayout>
#include <QStackedWidget>
#include <QVariantAnimation>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTransitionMs = 240;

int near(double x)
{
    return int(std::lround(x));
}

} // namespace

void MainWindow::buildTransition()
{
    m_transitionLayer = new PageTransitionLayer(m_stack);
    m_transitionAnimation = new QVariantAnimation(this);
    m_transitionAnimation->setDuration(kTransitionMs);
    m_transitionAnimation->setEasingCurve(QEasingCurve::OutCubic);
    m_transitionAnimation->setStartValue(0.0);
    m_transitionAnimation->setEndValue(1.0);
    connect(m_transitionAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setProgress(value.toDouble()); });
    connect(m_transitionAnimation, &QVariantAnimation::finished, this, &MainWindow::finishTransition);
}

bool MainWindow::isPageWidget(const QWidget *widget) const
{
    return widget && (widget == m_home || widget == m_settings);
}

void MainWindow::transitionTo(QWidget *page, PdfCanvas *previous, int direction)
{
    if (!m_stack || !page)
        return;
    if (m_closeDirection != 0)
        direction = m_closeDirection;
    m_closeDirection = 0;
    finishTransition();

    QWidget *current = m_stack->currentWidget();
    int kind = 0;
    if (page == current) {
        kind = 0;
    } else if (isPageWidget(page) || isPageWidget(current)) {
        kind = 1;
        direction = 0;
    } else {
        kind = 2;
        if (direction == 0) {
            const int from = int(m_canvases.indexOf(qobject_cast<PdfCanvas *>(current)));
            const int to = int(m_canvases.indexOf(qobject_cast<PdfCanvas *>(page)));
            direction = from >= 0 && to >= 0 && to < from ? -1 : 1;
        }
    }
    // Before the window's first expose nothing has been on screen to slide
    // away from: a start that opens a file shows its first page at once.
    const bool animates = kind != 0 && m_transitionAnimation && m_transitionLayer && m_stack->width() > 0
                          && m_stack->height() > 0 && isVisible() && windowHandle() && windowHandle()->isExposed()
                          && !testAttribute(Qt::WA_DontShowOnScreen);
    QPixmap outgoing;
    if (animates && current)
        outgoing = PageTransitionLayer::snapshot(current);
    m_stack->setCurrentWidget(page);
    QPixmap incoming;
    if (animates) {
        if (QLayout *layout = m_stack->layout())
            layout->activate();
        incoming = PageTransitionLayer::snapshot(page);
    }
    // Only the canvas in front keeps its rendered tiles.
    if (previous && previous != page)
        previous->dropAllTiles();
    // A tap that brought a document up may have a second tap coming.
    if (auto *canvas = qobject_cast<PdfCanvas *>(page); canvas && page != current && m_lastPressMs >= 0)
        canvas->expectTapEcho(m_lastPressGlobal, m_pressClock.elapsed() - m_lastPressMs);
    if (page == current)
        return;
    if (!animates || outgoing.isNull() || incoming.isNull() || page->size() != current->size()) {
        finishTransition();
        return;
    }
    m_transition.kind = kind;
    m_transition.direction = direction;
    m_transition.span = kind == 1 ? m_stack->height() : m_stack->width();
    m_transition.sink = near(0.1 * m_stack->height());
    m_transition.pictureRatio = devicePixelRatioF();
    m_transitionLayer->setPictures(outgoing, incoming);
    m_transitionLayer->setGeometry(m_stack->rect());
    m_transitionLayer->show();
    m_transitionLayer->raise();
    m_transitionAnimation->stop();
    m_transition.running = true;
    setProgress(0);
    m_transitionAnimation->start();
}

void MainWindow::setProgress(double t)
{
    if (!m_transition.running || !m_transitionLayer)
        return;
    // Pictures taken at another pixel ratio would be drawn at the wrong size.
    if (!qFuzzyCompare(m_transition.pictureRatio, devicePixelRatioF())) {
        finishTransition();
        return;
    }
    t = std::clamp(t, 0.0, 1.0);
    const double u = 1.0 - t;
    if (m_transition.kind == 1) {
        m_transitionLayer->setFrame(QPoint(0, near(m_transition.sink * t)), 1.0 - 0.45 * t,
                                    QPoint(0, near(m_transition.span * u)));
    } else {
        m_transitionLayer->setFrame(QPoint(0, 0), 1.0,
                                    QPoint(near(m_transition.span * m_transition.direction * u), 0));
    }
    m_transitionLayer->raise();
    m_transitionLayer->repaint();
}

void MainWindow::finishTransition()
{
    m_transition = TransitionState();
    if (m_transitionAnimation && m_transitionAnimation->state() != QAbstractAnimation::Stopped)
        m_transitionAnimation->stop();
    if (!m_transitionLayer)
        return;
    const bool heldPictures = !m_transitionLayer->incomingPicture().isNull()
                              || !m_transitionLayer->outgoingPicture().isNull();
    m_transitionLayer->clear();
    // Two full-window pictures are tens of megabytes: give them back.
    if (heldPictures)
        releaseFreedMemory();
}
