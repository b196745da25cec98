// The theme flow of the main window: a new theme or a change of the
// desktop's colour scheme restyles every component without reopening anything.
#include "app/mainwindow.h"

#include "app/documenttabstrip.h"
#include "app/transitionlayer.h"
#include "app/zoombar.h"
#include "canvas/pdfcanvas.h"
#include "pages/homepage.h"
#include "pages/settingspage.h"
#include "system/settings.h"
#include "ui/theme.h"

#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

void MainWindow::applyTheme()
{
    rereadSystemPalette();
    recomputeTheme();
    applyAppStyle();
    const Theme &colors = theme();
    statusBar()->setStyleSheet(
        QStringLiteral("QStatusBar { background: %1; border-top: 1px solid %2; color: %3; }"
                       "QStatusBar::item { border: none; }QStatusBar QLabel { color: %3; }")
            .arg(cssColor(colors.bar), cssColor(colors.divider), cssColor(colors.textMuted)));
    // Rebuilt with every theme, so a light/dark switch reaches it too.
    m_exitButton->setStyleSheet(
        QStringLiteral("QPushButton#fullscreenExit { background: %1; color: %2; border: 1px solid %3; "
                       "border-radius: %4; padding: %5 %6; font-weight: 600; }"
                       "QPushButton#fullscreenExit:hover { background: %7; }")
            .arg(cssColor(colors.bar), cssColor(colors.text), cssColor(colors.border), cssPx(16),
                 cssPx(8), cssPx(16), cssColor(colors.hover)));
    restyleComponents();
    // The window frame is the window manager's on Linux.
    update();
}

// Every component that keeps theme colours in a style sheet rebuilds it;
// those that paint from the record repaint. Nothing is reopened or
// re-rendered: the paper is white in every theme.
void MainWindow::restyleComponents()
{
    m_unstyled.clear();
    for (PdfCanvas *canvas : std::as_const(m_canvases)) {
        if (canvas->isVisible())
            canvas->applyCanvasTheme();
        else
            m_unstyled.append(canvas);
    }
    if (!m_unstyled.isEmpty())
        m_restyleTimer->start();
    m_tabs->applyTheme();
    m_zoomBar->applyTheme();
    m_transitionLayer->applyTheme();
    m_home->applyTheme();
    if (m_settings)
        m_settings->applyTheme();
}

void MainWindow::restyleNextHidden()
{
    // A canvas closed while waiting is simply gone from the list.
    while (!m_unstyled.isEmpty()) {
        const QPointer<PdfCanvas> canvas = m_unstyled.takeFirst();
        if (canvas) {
            canvas->applyCanvasTheme();
            break;
        }
    }
    if (m_unstyled.isEmpty())
        m_restyleTimer->stop();
}

void MainWindow::restyleCanvasNow(PdfCanvas *canvas)
{
    if (canvas && m_unstyled.removeAll(canvas) > 0)
        canvas->applyCanvasTheme();
}

void MainWindow::onSystemColorSchemeChanged()
{
    noteSystemAppearanceChanged();
    if (themeMode() == 0)
        applyTheme();
    // The settings page names the desktop's scheme whatever the mode.
    if (m_settings)
        m_settings->refreshThemeStatus();
}
