// Keeping the teacher's ink safe while a lesson is open: the results of
// working-copy writes, the notice when the opened file changes or goes, and
// the PDF bytes a save takes (those the ink is drawn on).
#include "app/mainwindow.h"

#include "app/documentwriter.h"
#include "app/sourceguard.h"
#include "canvas/pdfcanvas.h"
#include "system/diaglog.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

namespace {

QString canonicalOrAbsolute(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

void MainWindow::onWorkingCopyWritten(PdfCanvas *canvas, bool ok, const QString &error, bool sourceMatched)
{
    const int index = int(m_canvases.indexOf(canvas));
    if (index < 0)
        return;
    if (!sourceMatched)
        m_guard->checkOriginal(canvas);
    OpenDocument &doc = m_docs[index];
    if (doc.unprotected == !ok)
        return;
    doc.unprotected = !ok;
    const QString cache = QStringLiteral("cache");
    if (ok) {
        logInfo(cache, QStringLiteral("工作副本又能写入了：%1").arg(doc.displayName));
    } else {
        logInfo(cache, QStringLiteral("工作副本写入失败，「%1」的批注暂无备份（%2）").arg(doc.displayName, error));
        statusBar()->showMessage(
            QStringLiteral("工作副本写入失败：「%1」的批注暂无备份，请尽快保存（%2）").arg(doc.displayName, error), 12000);
    }
    refreshProtection();
}

void MainWindow::refreshProtection()
{
    const int index = m_bound ? int(m_canvases.indexOf(m_bound.data())) : -1;
    m_unprotectedLabel->setVisible(index >= 0 && m_docs.at(index).unprotected);
}

void MainWindow::onOriginalChanged(PdfCanvas *canvas, bool vanished)
{
    const int index = int(m_canvases.indexOf(canvas));
    if (index < 0)
        return;
    const QString name = m_docs.at(index).displayName;
    statusBar()->showMessage(
        vanished ? QStringLiteral("「%1」的原文件已被移走或删除；保存和导出仍用批注所在的原页面").arg(name)
                 : QStringLiteral("「%1」的原文件已在别处被改动；保存和导出仍用批注所在的原页面").arg(name),
        10000);
}

bool MainWindow::readInkPdf(int index, QByteArray *bytes)
{
    QString detail;
    const QString pdf = m_guard->inkPdf(m_canvases.at(index), &detail);
    QFile file(pdf);
    if (!pdf.isEmpty() && file.open(QIODevice::ReadOnly)) {
        *bytes = file.readAll();
        if (!bytes->isEmpty())
            return true;
    }
    const QString shown = m_docs.at(index).pdfPath;
    logInfo(QStringLiteral("save"), QStringLiteral("保存失败：无法读取源 PDF：%1（%2）").arg(shown, detail));
    showSaveFailure(QStringLiteral("无法读取源 PDF：%1").arg(shown));
    return false;
}

int MainWindow::openElsewhere(const QString &path, int except) const
{
    const QString key = canonicalOrAbsolute(path);
    for (int i = 0; i < m_docs.size(); ++i) {
        if (i == except)
            continue;
        const OpenDocument &doc = m_docs.at(i);
        for (const QString &file : {doc.packagePath, doc.wordSourcePath, doc.imageSourcePath, doc.pdfPath}) {
            if (!file.isEmpty() && canonicalOrAbsolute(file) == key)
                return i;
        }
    }
    return -1;
}
