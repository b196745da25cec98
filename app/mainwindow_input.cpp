// What the teacher does to the window itself: keys, full screen, dropped
// files, and the islands that fade while idle and wake on any input.
#include "app/mainwindow.h"

#include "canvas/pdfcanvas.h"
#include "files/imageimport.h"
#include "files/wordconvert.h"
#include "island/inktoolbar.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointerEvent>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWindow>

void MainWindow::onFullscreen()
{
    if (isFullScreen()) {
        if (m_wasMaximized)
            showMaximized();
        else
            showNormal();
        return;
    }
    m_wasMaximized = isMaximized();
    showFullScreen();
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        onFullscreen();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    finishTransition();
    for (PdfCanvas *canvas : std::as_const(m_canvases))
        canvas->inkToolbar()->setFullscreenActive(isFullScreen());
    m_exitButton->setVisible(isFullScreen());
    placeExitButton();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    finishTransition();
    QMainWindow::resizeEvent(event);
    placeExitButton();
}

void MainWindow::placeExitButton()
{
    constexpr int kEdge = 16;
    if (!m_exitButton || !m_exitButton->isVisible())
        return;
    m_exitButton->adjustSize();
    m_exitButton->move(width() - m_exitButton->width() - kEdge, kEdge);
    m_exitButton->raise();
}

QString MainWindow::firstDroppablePath(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    const QList<QUrl> urls = mime->urls();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
            || path.endsWith(QStringLiteral(".dpz"), Qt::CaseInsensitive) || isImageFile(path)
            || isWordDocument(path))
            return path;
    }
    return QString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!firstDroppablePath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = firstDroppablePath(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drop has returned: a question or the password box
    // shown inside the handler would hold the drag (and its source) open.
    QTimer::singleShot(0, this, [this, path] { openPath(path); });
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A press on any island wakes them all; a press elsewhere (writing on the
    // page) leaves a faded island faded. The event goes on unchanged.
    switch (event->type()) {
    case QEvent::Show:
        // A canvas still waiting for the new theme takes it before it paints.
        if (!m_unstyled.isEmpty() && watched->isWidgetType())
            restyleCanvasNow(qobject_cast<PdfCanvas *>(watched));
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TabletPress:
    case QEvent::TouchBegin:
        if (watched->isWidgetType() && isOnInkToolbar(static_cast<QWidget *>(watched)))
            wakeToolbars();
        // Every press reaches the window's QWindow first, exactly once.
        if (watched == static_cast<QObject *>(windowHandle())) {
            const auto *pointer = static_cast<QPointerEvent *>(event);
            if (!pointer->points().isEmpty()) {
                m_lastPressMs = m_pressClock.elapsed();
                m_lastPressGlobal = pointer->points().constFirst().globalPosition();
            }
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::isOnInkToolbar(const QWidget *widget) const
{
    // The island itself only receives presses in its shadow margin, which
    // belong to the page; its chip and buttons are its descendants.
    for (const PdfCanvas *canvas : m_canvases) {
        if (canvas->inkToolbar()->isAncestorOf(widget))
            return true;
    }
    return false;
}

void MainWindow::wakeToolbars()
{
    for (PdfCanvas *canvas : std::as_const(m_canvases))
        canvas->inkToolbar()->setFaded(false);
    if (m_canvases.isEmpty())
        m_idleTimer->stop();
    else
        m_idleTimer->start();
}

void MainWindow::onToolbarIdle()
{
    // An island with a card or the page overview open is in use: it stays,
    // and the others are looked at again later.
    bool inUse = false;
    for (PdfCanvas *canvas : std::as_const(m_canvases)) {
        InkToolbar *island = canvas->inkToolbar();
        if (island->hasOpenOverlay())
            inUse = true;
        else
            island->setFaded(true);
    }
    if (inUse)
        m_idleTimer->start();
}
