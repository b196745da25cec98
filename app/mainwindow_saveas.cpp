// Save as: a package, an injected PDF or one PNG per page.
#include "app/mainwindow.h"

#include "app/documentwriter.h"
#include "app/exportprogress.h"
#include "app/pdfshare.h"
#include "app/sourceguard.h"
#include "canvas/canvasexport.h"
#include "ui/uimetrics.h"
#include "canvas/pdfcanvas.h"
#include "files/package.h"
#include "files/pdfexport.h"
#include "files/workingcopy.h"
#include "system/diaglog.h"
#include "system/settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace {

const QString kPackageFilter = QStringLiteral("打包保存 (*.dpz)");
const QString kPdfFilter = QStringLiteral("注入 PDF (*.pdf)");
const QString kPngFilter = QStringLiteral("导出 PNG 图片 (*.png)");

QString logSave()
{
    return QStringLiteral("save");
}

QString proposedName(const QString &base, const QString &filter)
{
    if (filter.contains(QStringLiteral("*.png")))
        return base + QStringLiteral("-1.png");
    if (filter.contains(QStringLiteral("*.pdf")))
        return base + QStringLiteral("-已批注.pdf");
    return base + QStringLiteral(".dpz");
}

// Refuses a target that another tab has open: writing over it would pull
// that lesson's file (and its working copy) from under it.
QString openElsewhereText()
{
    return QStringLiteral("这个文件正在另一个标签页中打开，请换个文件名");
}

// Counts the running export for the window; its end lets the steps that
// waited for it run, once the flow that exported has returned.
class ExportScope
{
public:
    ExportScope(int *depth, QObject *window, std::function<void()> after)
        : m_depth(depth), m_window(window), m_after(std::move(after))
    {
        ++*m_depth;
    }
    ~ExportScope()
    {
        if (--*m_depth == 0)
            QTimer::singleShot(0, m_window, m_after);
    }
    ExportScope(const ExportScope &) = delete;
    ExportScope &operator=(const ExportScope &) = delete;

private:
    int *m_depth;
    QObject *m_window;
    std::function<void()> m_after;
};

} // namespace

bool MainWindow::saveAs(int index)
{
    if (index < 0 || index >= m_docs.size() || !m_canvases.at(index)->hasDocument())
        return false;
    QString target;
    SaveKind kind = SaveKind::Package;
    if (!askSaveAsTarget(index, &target, &kind))
        return false;
    // The dialog ran an event loop: the document may have gone meanwhile.
    if (index >= m_docs.size())
        return false;
    switch (kind) {
    case SaveKind::Png:
        return exportPng(index, target);
    case SaveKind::Pdf:
        return injectPdf(index, target);
    case SaveKind::Package:
        break;
    }
    return saveAsPackage(index, target);
}

bool MainWindow::askSaveAsTarget(int index, QString *target, SaveKind *kind)
{
    const OpenDocument &doc = m_docs.at(index);
    QString reference;
    for (const QString &candidate : {doc.packagePath, doc.wordSourcePath, doc.imageSourcePath, doc.pdfPath}) {
        if (!candidate.isEmpty()) {
            reference = candidate;
            break;
        }
    }
    // Pages made here propose the lesson's name, or the board's.
    if (doc.packagePath.isEmpty() && !doc.record.id.isEmpty())
        reference = doc.record.board ? QString() : doc.record.originPath;
    const QStringList sources{doc.wordSourcePath, doc.imageSourcePath, doc.pdfPath, doc.packagePath};
    const QString saveFolder = defaultSavePath();
    const QString folder = !saveFolder.isEmpty() && QFileInfo(saveFolder).isDir()
                               ? saveFolder
                               : reference.isEmpty() ? QDir::homePath() : QFileInfo(reference).absolutePath();
    QString base = QFileInfo(reference).completeBaseName();
    if (base.isEmpty() && doc.record.board)
        base = doc.record.name;
    if (base.isEmpty())
        base = QStringLiteral("未命名");

    const QStringList filters{kPackageFilter, kPdfFilter, kPngFilter};
    QFileDialog dialog(this, QStringLiteral("另存为"), folder);
    dialog.setObjectName(QStringLiteral("saveAsDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("保存类型（注入 PDF 适合分享；PNG 每页导出一张）"));
    dialog.selectFile(proposedName(base, filters.first()));
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog, base](const QString &filter) { dialog.selectFile(proposedName(base, filter)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString typed = dialog.selectedFiles().constFirst();
    QString chosen = typed;
    if (chosen.isEmpty())
        return false;
    const QString filter = dialog.selectedNameFilter();
    QString suffix = QStringLiteral(".dpz");
    *kind = SaveKind::Package;
    if (filter == kPngFilter) {
        *kind = SaveKind::Png;
        suffix = QStringLiteral(".png");
    } else if (filter == kPdfFilter) {
        *kind = SaveKind::Pdf;
        suffix = QStringLiteral(".pdf");
    }
    if (!chosen.endsWith(suffix, Qt::CaseInsensitive))
        chosen += suffix;
    *target = chosen;
    if (index >= m_canvases.size())
        return false; // the dialog ran an event loop: the document may have gone
    // The dialog asked about the name as typed; a name that only now got
    // its extension (or a page file of a PNG export) is asked about here.
    // A source file of the document is not asked about: the export refuses it.
    if (*kind == SaveKind::Png) {
        QString base = chosen;
        base.chop(suffix.size());
        const int count = std::max(m_canvases.at(index)->pageCount(), 1);
        QStringList pages;
        QStringList existing;
        for (int k = 1; k <= count; ++k) {
            pages.append(pngPageName(base, k, count));
            if (QFileInfo::exists(pages.constLast()))
                existing.append(QFileInfo(pages.constLast()).fileName());
        }
        if (existing.isEmpty() || !sourceAmongTargets(pages, sources).isEmpty())
            return true;
        const QString named = existing.size() == 1
            ? existing.constFirst()
            : QStringLiteral("%1 等 %2 个文件").arg(existing.constFirst()).arg(existing.size());
        return confirmReplace(named);
    }
    if (chosen == typed || !QFileInfo::exists(chosen)
        || (*kind == SaveKind::Pdf && !sourceAmongTargets({chosen}, sources).isEmpty()))
        return true;
    return confirmReplace(QFileInfo(chosen).fileName());
}

bool MainWindow::confirmReplace(const QString &existing)
{
    QMessageBox box(this);
    box.setObjectName(QStringLiteral("replacePrompt"));
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("另存为"));
    box.setText(QStringLiteral("%1 已存在，要替换吗？").arg(existing));
    QPushButton *replace = box.addButton(QStringLiteral("替换"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    const int minimumHeight = int(uiMetrics(box.font()).touchTarget * 0.72);
    for (QAbstractButton *button : box.buttons()) {
        button->setMinimumHeight(minimumHeight);
        button->setCursor(Qt::PointingHandCursor);
    }
    box.exec();
    return box.clickedButton() == replace;
}

void MainWindow::deferUntilExported(std::function<void()> step)
{
    m_afterExport.append(std::move(step));
}

void MainWindow::runDeferredSteps()
{
    // A step may start another export, which collects its own.
    while (m_exporting == 0 && !m_afterExport.isEmpty())
        m_afterExport.takeFirst()();
}

bool MainWindow::exportPng(int index, const QString &target)
{
    PdfCanvas *canvas = m_canvases.at(index);
    const OpenDocument doc = m_docs.at(index);
    QString base = target;
    if (base.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        base.chop(4);
    const int count = std::max(canvas->pageCount(), 1);
    QStringList names;
    for (int k = 1; k <= count; ++k)
        names.append(pngPageName(base, k, count));
    const QString clash = sourceAmongTargets(names, {doc.imageSourcePath, doc.pdfPath, doc.packagePath});
    if (!clash.isEmpty()) {
        logInfo(logSave(), QStringLiteral("拒绝把源文件当作导出目标：%1").arg(clash));
        statusBar()->showMessage(QStringLiteral("不能用源文件本身作为导出目标，请换个文件名"), 8000);
        return false;
    }

    // The pages the ink is drawn on, wherever the original went since.
    QString detail;
    ExportSource source = exportSource(canvas);
    source.pdfPath = m_guard->inkPdf(canvas, &detail);
    if (source.pdfPath.isEmpty()) {
        logInfo(logSave(), QStringLiteral("导出 PNG 失败：%1（%2）").arg(target, detail));
        QMessageBox::warning(this, QStringLiteral("导出失败"), QStringLiteral("无法读取源 PDF：%1").arg(doc.pdfPath),
                             QMessageBox::Ok);
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    QString error;
    int written = -1;
    QStringList files;
    {
        const ExportScope scope(&m_exporting, this, [this] { runDeferredSteps(); });
        ExportProgress progress(this, canvas->pageCount());
        written = exportPngPages(source, base, &error, kDefaultPngDpi, &progress, &files);
    }
    if (written < 0 && error == exportCancelledText()) {
        logInfo(logSave(), QStringLiteral("导出 PNG 已取消：%1").arg(target));
        statusBar()->showMessage(exportCancelledText(), 4000);
        return false;
    }
    if (written < 0) {
        logInfo(logSave(), QStringLiteral("导出 PNG 失败：%1（%2）").arg(target, error));
        QMessageBox::warning(this, QStringLiteral("导出失败"), error, QMessageBox::Ok);
        return false;
    }
    logInfo(logSave(), QStringLiteral("导出 PNG %1：%2 张，%3 ms")
                          .arg(QFileInfo(target).fileName())
                          .arg(written)
                          .arg(clock.elapsed()));
    // The first file by its real name: with 10 pages or more it is "-01".
    const QString first = QFileInfo(files.value(0, pngPageName(base, 1, written))).fileName();
    const QString shown = written == 1 ? QStringLiteral("已导出 %1").arg(first)
                                       : QStringLiteral("已导出 %1 张 PNG：%2 …").arg(written).arg(first);
    statusBar()->showMessage(shown, 6000);
    return true;
}

bool MainWindow::injectPdf(int index, const QString &target)
{
    PdfCanvas *canvas = m_canvases.at(index);
    const OpenDocument doc = m_docs.at(index);
    // The package too: a package file named .pdf would otherwise be lost.
    if (!sourceAmongTargets({target}, {doc.wordSourcePath, doc.imageSourcePath, doc.pdfPath, doc.packagePath})
             .isEmpty()) {
        logInfo(logSave(), QStringLiteral("拒绝把源文件当作导出目标：%1").arg(target));
        statusBar()->showMessage(QStringLiteral("不能用源文件本身作为导出目标，请换一个文件名"), 8000);
        return false;
    }
    if (openElsewhere(target, index) >= 0) {
        logInfo(logSave(), QStringLiteral("拒绝写入另一个标签页打开的文件：%1").arg(target));
        statusBar()->showMessage(openElsewhereText(), 8000);
        return false;
    }

    // The pages the ink is drawn on, wherever the original went since.
    QString detail;
    ExportSource source = exportSource(canvas);
    source.pdfPath = m_guard->inkPdf(canvas, &detail);
    if (source.pdfPath.isEmpty()) {
        logInfo(logSave(), QStringLiteral("注入 PDF 失败：%1（%2）").arg(target, detail));
        showSaveFailure(QStringLiteral("无法读取源 PDF：%1").arg(doc.pdfPath));
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    PdfShareResult result;
    {
        const ExportScope scope(&m_exporting, this, [this] { runDeferredSteps(); });
        const PdfExportWay way = pdfExportWay();
        ExportProgress progress(this, canvas->pageCount(), way == PdfExportWay::KeepOriginal);
        result = exportSharedPdf(source, target, way, &progress);
    }
    const bool ok = result.ok;
    const QString &error = result.error;
    if (!ok && error == exportCancelledText()) {
        logInfo(logSave(), QStringLiteral("注入 PDF 已取消：%1").arg(target));
        statusBar()->showMessage(exportCancelledText(), 4000);
        return false;
    }
    if (!ok) {
        logInfo(logSave(), QStringLiteral("注入 PDF 失败：%1（%2）").arg(target, error));
        showSaveFailure(error);
        return false;
    }
    const QFileInfo written(target);
    logInfo(logSave(), QStringLiteral("注入 PDF %1：%2 页，%3 KB，%4 ms")
                          .arg(written.fileName())
                          .arg(canvas->pageCount())
                          .arg(written.size() / 1024)
                          .arg(clock.elapsed()));
    markClean(index);
    if (result.fellBack) {
        logInfo(logSave(), QStringLiteral("%1：%2（%3）").arg(keptAsPageImagesText(), target, result.fallbackReason));
        statusBar()->showMessage(keptAsPageImagesText(), 8000);
        return true;
    }
    statusBar()->showMessage(QStringLiteral("已注入 PDF %1").arg(written.fileName()), 4000);
    return true;
}

bool MainWindow::saveAsPackage(int index, const QString &target)
{
    PdfCanvas *canvas = m_canvases.at(index);
    if (openElsewhere(target, index) >= 0) {
        logInfo(logSave(), QStringLiteral("拒绝写入另一个标签页打开的文件：%1").arg(target));
        statusBar()->showMessage(openElsewhereText(), 8000);
        return false;
    }
    QByteArray pdf;
    if (!readInkPdf(index, &pdf))
        return false;
    QString error;
    if (!writePackage(target, pdf, canvas->exportAnnotations(), &error)) {
        logInfo(logSave(), QStringLiteral("保存批注包失败：%1（%2）").arg(target, error));
        showSaveFailure(error);
        return false;
    }
    const QFileInfo written(target);
    logInfo(logSave(), QStringLiteral("保存批注包 %1：%2 KB，批注 %3 条")
                          .arg(written.fileName())
                          .arg(written.size() / 1024)
                          .arg(canvas->strokeCount()));
    OpenDocument &record = m_docs[index];
    record.packagePath = target;
    record.displayName = written.fileName();
    record.damagedPackage = false;
    record.restoredInk = false;
    notePagesSaved(index, target);
    markClean(index);
    m_writer->savedToPackage(canvas, target);
    m_guard->retarget(canvas, target, sourceFingerprint(target));
    refreshTitle();
    statusBar()->showMessage(QStringLiteral("已打包保存 %1").arg(record.displayName), 4000);
    return true;
}
