#include "app/mainwindow.h"

#include "canvas/pdfcanvas.h"
#include "system/diaglog.h"

#include <QFileInfo>
#include <QStackedWidget>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_stack(new QStackedWidget(this))
{
    setWindowTitle(QStringLiteral("青简批注"));
    setCentralWidget(m_stack);
    resize(1280, 800);
}

void MainWindow::openPath(const QString &path)
{
    logInfo(QStringLiteral("open"), QStringLiteral("打开：") + path);
    auto *canvas = new PdfCanvas(m_stack);
    QString error;
    if (!canvas->openPdf(path, &error)) {
        delete canvas;
        logInfo(QStringLiteral("open"), QStringLiteral("打开失败：%1（%2）").arg(path, error));
        statusBar()->showMessage(QStringLiteral("打开失败：%1").arg(error), 8000);
        return;
    }
    m_stack->addWidget(canvas);
    m_stack->setCurrentWidget(canvas);
    setWindowTitle(QStringLiteral("%1 — 青简批注").arg(QFileInfo(path).fileName()));
}
