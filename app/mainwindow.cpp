#include "app/mainwindow.h"

#include "system/diaglog.h"

#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("青简批注"));
    resize(1280, 800);
}

void MainWindow::openPath(const QString &path)
{
    statusBar()->showMessage(path);
    logInfo(QStringLiteral("open"), QStringLiteral("打开：") + path);
}
