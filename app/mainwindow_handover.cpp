// "用 Word 打开": handing a Word document to the desktop's own program.
#include "app/mainwindow.h"

#include "platform/defaulthandler.h"
#include "system/diaglog.h"
#include "system/offthread.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <QUrl>

void MainWindow::handWordDocumentOver(const QString &path)
{
    // Who the desktop would hand it to is asked off this thread (its tools
    // can take seconds). Never to this program: with "用 Word 打开" chosen
    // that would reopen it here, hand it on again, and so on without end.
    statusBar()->showMessage(QStringLiteral("正在交给其他程序打开：%1").arg(QFileInfo(path).fileName()), 4000);
    runOffThread<FileHandler>(
        this, [path] { return defaultHandlerFor(path); },
        [this, path](const FileHandler &handler) {
            const QString name = QFileInfo(path).fileName();
            if (handler.isThisProgram) {
                logInfo(QStringLiteral("open"), QStringLiteral("Word 文档未交出：默认程序是本程序（%1，%2）").arg(handler.entry, path));
                QMessageBox::information(
                    this, QStringLiteral("无法用其他程序打开"),
                    QStringLiteral("「%1」没有交出去：这台电脑打开 Word 文档的默认程序就是本程序（%2），"
                                   "交给它只会回到这里。\n\n请在文件管理器里右键 .docx →「打开方式」，"
                                   "为它选择 Word、WPS 或 LibreOffice 等程序；或在设置里把「打开 Word 文档时」改为"
                                   "「批注」。")
                        .arg(name, handler.name));
                return;
            }
            logInfo(QStringLiteral("open"), QStringLiteral("Word 文档交给系统默认程序：%1（%2）").arg(path, handler.entry));
            if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
                statusBar()->showMessage(QStringLiteral("无法交给其他程序打开：%1").arg(name), 8000);
        });
}
