// The document flows of the main window: open and save.
#include "app/mainwindow.h"

#include "app/boardchooser.h"
#include "app/choicebox.h"
#include "app/commandline.h"
#include "app/documentwriter.h"
#include "app/documenttabstrip.h"
#include "app/officeopen.h"
#include "app/passworddialog.h"
#include "app/sourceguard.h"
#include "app/wordconversion.h"
#include "app/wordquestion.h"
#include "canvas/pdfcanvas.h"
#include "files/imageimport.h"
#include "island/inktoolbar.h"
#include "files/package.h"
#include "files/wordconvert.h"
#include "files/workingcopy.h"
#include "platform/desktopwords.h"
#include "system/crashreport.h"
#include "system/diaglog.h"
#include "system/settings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

namespace {

QString logOpen()
{
    return QStringLiteral("open");
}

QString logSave()
{
    return QStringLiteral("save");
}

QString canonicalOrAbsolute(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

enum class PdfOpen { Opened, Failed, Cancelled };

// Opens pdfPath in canvas; a locked PDF asks for its password (name is
// the file the user chose) until it opens or the teacher cancels. The
// password stays in the canvas only: the logs see the path, never it.
PdfOpen openCanvasPdf(PdfCanvas *canvas, const QString &pdfPath, const QString &name, QWidget *parent,
                      QString *error)
{
    bool retry = false;
    while (!canvas->openPdf(pdfPath, error)) {
        if (!canvas->lastOpenNeedsPassword())
            return PdfOpen::Failed;
        if (retry)
            logInfo(logOpen(), QStringLiteral("PDF 密码不正确：%1").arg(pdfPath));
        QString password;
        if (!PasswordDialog::ask(name, retry, parent, &password)) {
            canvas->setPassword(QString());
            return PdfOpen::Cancelled;
        }
        canvas->setPassword(password);
        retry = true;
    }
    return PdfOpen::Opened;
}

} // namespace

void MainWindow::onOpen()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("打开 PDF / 批注包 / Word 文档"), QString(), openDialogFilter());
    if (!path.isEmpty())
        openPath(path);
}

int MainWindow::findOpen(const QString &path, Kind kind) const
{
    const QString key = canonicalOrAbsolute(path);
    for (int i = 0; i < m_docs.size(); ++i) {
        const OpenDocument &doc = m_docs.at(i);
        QString compare;
        if (kind == Kind::Package) {
            compare = doc.packagePath;
        } else {
            // A lesson with pages put in is still the file it came from.
            for (const QString &candidate : {doc.wordSourcePath, doc.imageSourcePath, doc.record.originPath, doc.pdfPath}) {
                if (!candidate.isEmpty()) {
                    compare = candidate;
                    break;
                }
            }
        }
        if (!compare.isEmpty() && canonicalOrAbsolute(compare) == key)
            return i;
    }
    return -1;
}

void MainWindow::openPath(const QString &path)
{
    // A forwarded "--new-board" arrives in place of a path.
    QString boardKind;
    if (isNewBoardRequest(path, &boardKind)) {
        BoardStyle style = rememberedBoardStyle();
        if (!boardKind.isEmpty())
            boardKindFromName(boardKind, &style.kind);
        newBoard(style);
        return;
    }
    if (m_exporting > 0) {
        deferUntilExported([this, path] { openPath(path); });
        statusBar()->showMessage(QStringLiteral("导出完成后打开 %1").arg(QFileInfo(path).fileName()));
        return;
    }
    recordOperation("open", QFileInfo(path).fileName());
    finishTransition();
    QElapsedTimer clock;
    clock.start();

    // By name first: a .docx or .pptx is a ZIP and would pass the package
    // test, and a picture's name decides whatever its first bytes say.
    const Kind kind = isOfficeDocument(path) ? Kind::Office
                      : isImageFile(path)  ? Kind::Image
                      : looksLikePackage(path) ? Kind::Package
                                              : Kind::Pdf;
    const int already = findOpen(path, kind);
    if (already >= 0) {
        m_tabs->setCurrentIndex(already);
        onTabCurrentChanged(already);
        return;
    }

    if (kind == Kind::Office) {
        openOfficeDocument(path, clock);
        return;
    }
    OpenDocument doc;
    QJsonObject packageInk;
    QList<PackageDamage> damage;
    if (kind == Kind::Package) {
        QByteArray pdf;
        QString error;
        if (!readPackage(path, &pdf, &packageInk, &error, &damage)) {
            logInfo(logOpen(), QStringLiteral("批注包读取失败：%1（%2）").arg(path, error));
            statusBar()->showMessage(QStringLiteral("打开失败：%1").arg(error), 8000);
            return;
        }
        if (!extractPackagePdf(path, pdf, &doc.pdfPath, &error)) {
            logInfo(logOpen(), QStringLiteral("无法写入临时文件：%1（%2）").arg(extractedPdfPath(path), error));
            statusBar()->showMessage(QStringLiteral("打开失败：无法写入临时文件"), 8000);
            return;
        }
        doc.packagePath = path;
        doc.damagedPackage = !damage.isEmpty();
    } else if (kind == Kind::Image) {
        statusBar()->showMessage(QStringLiteral("正在导入图片…"));
        // Paint the message once; a touch meanwhile must not start a second flow.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QString error;
        if (!wrapImageAsPdf(path, &doc.pdfPath, &error)) {
            logInfo(logOpen(), QStringLiteral("图片导入失败：%1（%2）").arg(path, error));
            statusBar()->showMessage(QStringLiteral("图片导入失败：%1").arg(error), 10000);
            return;
        }
        statusBar()->clearMessage();
        doc.imageSourcePath = path;
        doc.displayName = QFileInfo(path).completeBaseName() + QStringLiteral(".dpz");
    } else {
        doc.pdfPath = path;
    }
    if (doc.displayName.isEmpty())
        doc.displayName = QFileInfo(path).fileName();
    loadDocument(path, kind, doc, packageInk, damage, clock);
}

void MainWindow::openOfficeDocument(const QString &path, const QElapsedTimer &clock)
{
    const OfficeKind officeKind = officeKindOf(path);
    const auto openElsewhere = [this, &path] { handWordDocumentOver(path); };
    // Only Word documents have the question and its setting.
    switch (officeKind == OfficeKind::Word ? wordOpenMode() : 1) {
    case 2:
        openElsewhere();
        return;
    case 0:
        switch (WordQuestion::ask(QFileInfo(path).fileName(), this)) {
        case WordQuestion::NoChoice:
            return;
        case WordQuestion::OpenInWord:
            openElsewhere();
            return;
        case WordQuestion::Annotate:
            break;
        }
        break;
    default:
        break;
    }
    if (!hasConverterFor(officeKind)) {
        logInfo(logOpen(), QStringLiteral("%1打开失败：%2（%3）")
                               .arg(officeKindWord(officeKind), noConverterText(officeKind), path));
        statusBar()->showMessage(noConverterText(officeKind), 8000);
        return;
    }
    // The conversion runs beside the event loop: the window keeps painting
    // and the other tabs keep working until onWordConverted.
    WordConversionResult done;
    if (m_conversions->start(path, clock, &done) == WordConversions::Start::Done)
        onWordConverted(done);
}

void MainWindow::onWordConverted(const WordConversionResult &result)
{
    if (m_exporting > 0) {
        deferUntilExported([this, result] { onWordConverted(result); });
        return;
    }
    const QString &path = result.source;
    if (result.cancelled) {
        statusBar()->showMessage(QStringLiteral("已取消转换：%1").arg(QFileInfo(path).fileName()), 4000);
        return;
    }
    if (!result.ok) {
        logInfo(logOpen(), QStringLiteral("%1转换失败：%2（%3）").arg(officeKindWord(result.kind), path, result.error));
        statusBar()->showMessage(
            QStringLiteral("转换失败：%1").arg(result.error) + QStringLiteral("。") + conversionHint(result.kind), 12000);
        return;
    }
    // Opened meanwhile by another route (the converted PDF is a different
    // document; only the Word source itself counts).
    const int already = findOpen(path, Kind::Office);
    if (already >= 0) {
        m_tabs->setCurrentIndex(already);
        onTabCurrentChanged(already);
        return;
    }
    OpenDocument doc;
    doc.wordSourcePath = path;
    doc.pdfPath = result.pdfPath;
    doc.displayName = QFileInfo(path).completeBaseName() + QStringLiteral(".dpz");
    loadDocument(path, Kind::Office, doc, QJsonObject(), {}, result.clock);
}

void MainWindow::loadDocument(const QString &path, Kind kind, OpenDocument doc, const QJsonObject &packageInk,
                              const QList<PackageDamage> &damage, const QElapsedTimer &clock)
{
    // The source as it is now: the working copy keeps ink drawn on these bytes.
    const QJsonObject fingerprint = sourceFingerprint(path);

    QElapsedTimer steps;
    steps.start();
    auto *canvas = new PdfCanvas(m_stack);
    new InkToolbar(canvas); // the canvas's viewport owns its island
    m_stack->addWidget(canvas);
    canvas->setPalmEraserEnabled(palmEraser());
    wireCanvas(canvas);
    // Before the canvas reads the PDF: the guard holds the very file read.
    m_guard->track(canvas, path, fingerprint, doc.pdfPath, doc.packagePath);
    m_lastOpenSteps.canvasNs = steps.nsecsElapsed();
    steps.restart();
    QString error;
    const PdfOpen opened = openCanvasPdf(canvas, doc.pdfPath, QFileInfo(path).fileName(), this, &error);
    m_lastOpenSteps.loadNs = steps.nsecsElapsed();
    // A deck shows one whole slide at a time; so does a PDF made from one.
    if (opened == PdfOpen::Opened)
        canvas->setSlideMode(officeKindOf(path) == OfficeKind::Presentation || canvas->madeFromSlides());
    // The password question ran an event loop: the same file may have been
    // opened meanwhile (a second double-click), and two tabs of one file
    // would write one working copy.
    const int already = opened == PdfOpen::Opened ? findOpen(path, kind) : -1;
    if (opened != PdfOpen::Opened || already >= 0) {
        m_guard->untrack(canvas);
        m_stack->removeWidget(canvas);
        m_lastRender.remove(canvas);
        delete canvas;
        if (already >= 0) {
            m_tabs->setCurrentIndex(already);
            onTabCurrentChanged(already);
        } else if (opened == PdfOpen::Cancelled) {
            logInfo(logOpen(), QStringLiteral("已取消输入密码：%1").arg(path));
            statusBar()->showMessage(QStringLiteral("已取消打开：%1").arg(QFileInfo(path).fileName()), 4000);
        } else {
            logInfo(logOpen(), QStringLiteral("打开失败：%1（%2）").arg(path, error));
            statusBar()->showMessage(QStringLiteral("打开失败：%1").arg(error), 8000);
        }
        return;
    }

    QString statusText;
    int statusTimeout = 0;
    if (kind == Kind::Package) {
        canvas->importAnnotations(packageInk);
        RestoreResult restore;
        restorePackageWorkingCopy(canvas, path, fingerprint, &restore);
        // The package on disk does not hold restored ink yet.
        doc.dirty = restore.outcome == RestoreResult::Outcome::Restored;
        doc.restoredInk = doc.dirty;
        statusText = restore.statusText;
        statusTimeout = restore.statusTimeoutMs;
        if (!damage.isEmpty()) {
            for (const PackageDamage &d : damage)
                logInfo(logOpen(), QStringLiteral("批注包已损坏：%1（%2）").arg(path, d.describe()));
            statusText = packageDamageText(damage);
            statusTimeout = 10000;
        }
    } else {
        const RestoreResult gate = runRestoreGate(path);
        if (gate.outcome == RestoreResult::Outcome::Restored) {
            canvas->importAnnotations(gate.annotations);
            doc.restoredInk = canvas->strokeCount() > 0;
        }
        statusText = gate.statusText;
        statusTimeout = gate.statusTimeoutMs;
    }

    addRecentFile(path);
    logInfo(logOpen(), QStringLiteral("%1：%2 页，%3 ms，批注 %4 条")
                          .arg(doc.displayName)
                          .arg(canvas->pageCount())
                          .arg(clock.elapsed())
                          .arg(canvas->strokeCount()));

    m_canvases.append(canvas);
    m_docs.append(doc);
    m_writer->track(canvas, path, doc.pdfPath, fingerprint);
    m_writer->setInkPdf(canvas, m_guard->readyInkPdf(canvas));
    showAddedDocument(canvas, statusText, statusTimeout);
}

void MainWindow::showAddedDocument(PdfCanvas *canvas, const QString &statusText, int statusTimeout)
{
    const OpenDocument &doc = m_docs.last();
    if (canvas->strokeCount() > 0)
        m_guard->noteInk(canvas);
    refreshOpenTempFiles();
    const int index = m_tabs->addTab(doc.dirty ? QStringLiteral("*") + doc.displayName : doc.displayName);
    m_tabs->setCurrentIndex(index);
    onTabCurrentChanged(index);
    m_idleTimer->start();
    if (!statusText.isEmpty())
        statusBar()->showMessage(statusText, statusTimeout);
}

void MainWindow::restorePackageWorkingCopy(PdfCanvas *canvas, const QString &packagePath,
                                           const QJsonObject &fingerprint, RestoreResult *result)
{
    QJsonObject json;
    switch (readWorkingCopyInk(workingCopyPath(packagePath), &json)) {
    case WorkingCopyRead::Missing:
    case WorkingCopyRead::Unreadable:
        return;
    case WorkingCopyRead::Damaged:
        result->outcome = RestoreResult::Outcome::Damaged;
        result->statusText = damagedWorkingCopyText();
        result->statusTimeoutMs = 8000;
        return;
    case WorkingCopyRead::Ok:
        break;
    }
    // Only ink written over exactly this package file comes back. Ink kept
    // for the package as it was before it got replaced is the teacher's
    // too: kept aside, and said, before new ink writes over the name.
    if (!sameSource(json.value(QStringLiteral("source")).toObject(), fingerprint)) {
        logInfo(logOpen(), QStringLiteral("工作副本与源文件不一致，未恢复批注：%1（源 %2）")
                               .arg(workingCopyPath(packagePath), packagePath));
        keepMismatchedWorkingCopy(workingCopyPath(packagePath));
        result->outcome = RestoreResult::Outcome::Mismatch;
        result->statusText = mismatchedWorkingCopyText();
        result->statusTimeoutMs = 8000;
        return;
    }
    canvas->importAnnotations(json);
    result->outcome = RestoreResult::Outcome::Restored;
    result->statusText = QStringLiteral("已恢复上次未保存的批注");
    result->statusTimeoutMs = 5000;
}

MainWindow::DamagedChoice MainWindow::askOverwriteDamaged(int index)
{
    QMessageBox box(this);
    setUpChoiceBox(box, QStringLiteral("damagedPrompt"), QMessageBox::Warning, QStringLiteral("批注包已损坏"),
                   QStringLiteral("「%1」打开时校验不符，内容可能不完整。").arg(m_docs.at(index).displayName),
                   QStringLiteral("直接保存会覆盖这个文件，原来的内容将无法找回。建议另存为新文件。"));
    QPushButton *saveAs = box.addButton(QStringLiteral("另存为"), QMessageBox::AcceptRole);
    QPushButton *overwrite = box.addButton(QStringLiteral("仍然覆盖"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(saveAs);
    box.setEscapeButton(cancel);
    execForTouch(box);
    if (box.clickedButton() == saveAs)
        return DamagedChoice::SaveAs;
    if (box.clickedButton() == overwrite)
        return DamagedChoice::Overwrite;
    return DamagedChoice::Cancel;
}

void MainWindow::showSaveFailure(const QString &message)
{
    QMessageBox::warning(this, QStringLiteral("保存失败"), message, QMessageBox::Ok);
}

void MainWindow::onSave()
{
    const int index = currentIndex();
    if (index >= 0)
        save(index);
}

void MainWindow::onSaveAs()
{
    const int index = currentIndex();
    if (index >= 0)
        saveAs(index);
}

bool MainWindow::save(int index)
{
    if (index < 0 || index >= m_docs.size())
        return false;
    PdfCanvas *canvas = m_canvases.at(index);
    if (!canvas->hasDocument())
        return false;
    // A copy: the prompt below runs an event loop that may open documents.
    const OpenDocument doc = m_docs.at(index);
    if (doc.packagePath.isEmpty())
        return saveAs(index);
    if (doc.damagedPackage) {
        switch (askOverwriteDamaged(index)) {
        case DamagedChoice::SaveAs:
            return saveAs(index);
        case DamagedChoice::Overwrite:
            logInfo(logSave(), QStringLiteral("覆盖已损坏的批注包：%1").arg(doc.packagePath));
            break;
        case DamagedChoice::Cancel:
            return false;
        }
    }
    QByteArray pdf;
    if (!readInkPdf(index, &pdf))
        return false;
    QString error;
    const QString target = doc.packagePath;
    if (!writePackage(target, pdf, canvas->exportAnnotations(), &error)) {
        logInfo(logSave(), QStringLiteral("保存批注包失败：%1（%2）").arg(target, error));
        showSaveFailure(error);
        return false;
    }
    const QString name = QFileInfo(target).fileName();
    logInfo(logSave(), QStringLiteral("保存批注包 %1：批注 %2 条").arg(name).arg(canvas->strokeCount()));
    m_docs[index].damagedPackage = false;
    m_docs[index].restoredInk = false;
    notePagesSaved(index, target);
    markClean(index);
    m_writer->savedToPackage(canvas, target);
    m_guard->retarget(canvas, target, sourceFingerprint(target));
    statusBar()->showMessage(QStringLiteral("已保存 %1").arg(name), 4000);
    return true;
}
