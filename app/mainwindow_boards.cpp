// Boards and blank pages: a new board, a page more at its end, a blank page
// put into any lesson, and their records in the state folder that bring an
// unsaved one back after a crash.
#include "app/mainwindow.h"

#include "app/boardchooser.h"
#include "app/documenttabstrip.h"
#include "app/documentwriter.h"
#include "app/pageinsertjob.h"
#include "app/passworddialog.h"
#include "app/sourceguard.h"
#include "canvas/pdfcanvas.h"
#include "files/pageinsert.h"
#include "files/workingcopy.h"
#include "island/inktoolbar.h"
#include "system/crashreport.h"
#include "system/diaglog.h"
#include "system/settings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {

QString logBoard()
{
    return QStringLiteral("board");
}

// The revision number in a record PDF's name ("<id>-<n>.pdf").
int revisionOf(const QString &pdfPath)
{
    const QString base = QFileInfo(pdfPath).completeBaseName();
    return base.mid(base.lastIndexOf(QLatin1Char('-')) + 1).toInt();
}

} // namespace

void MainWindow::chooseNewBoard()
{
    BoardStyle style;
    if (BoardChooser::ask(QStringLiteral("新建白板"), QStringLiteral("新建"), this, &style))
        newBoard(style);
}

QString MainWindow::nextBoardName() const
{
    for (int n = m_boardSerial + 1;; ++n) {
        const QString name = QStringLiteral("白板 %1").arg(n);
        const bool taken = std::any_of(m_docs.cbegin(), m_docs.cend(),
                                       [&name](const OpenDocument &doc) { return doc.record.name == name; });
        if (!taken)
            return name;
    }
}

bool MainWindow::newBoard(const BoardStyle &style)
{
    if (m_exporting > 0) {
        deferUntilExported([this, style] { newBoard(style); });
        return false;
    }
    finishTransition();
    recordOperation("board", boardKindKey(style.kind));
    QString error;
    PageRecord record;
    record.id = newPageRecordId();
    record.name = nextBoardName();
    record.pdfPath = pageRevisionPath(record.id, 0);
    record.board = true;
    record.style = style;
    if (!ensurePageRecordFolder(&error) || !writeBoardPdf(record.pdfPath, style, 1, &error)
        || !writePageRecord(record, &error)) {
        logInfo(logBoard(), QStringLiteral("新建白板失败：%1").arg(error));
        statusBar()->showMessage(QStringLiteral("新建白板失败：%1").arg(error), 8000);
        removePageRecord(record.id);
        return false;
    }
    if (!loadRecord(record, false)) {
        removePageRecord(record.id);
        return false;
    }
    m_boardSerial = record.name.mid(3).toInt();
    return true;
}

bool MainWindow::loadRecord(const PageRecord &record, bool restoring)
{
    QElapsedTimer clock;
    clock.start();
    const QJsonObject fingerprint = sourceFingerprint(record.pdfPath);
    auto *canvas = new PdfCanvas(m_stack);
    new InkToolbar(canvas);
    m_stack->addWidget(canvas);
    canvas->setPalmEraserEnabled(palmEraser());
    wireCanvas(canvas);
    m_guard->track(canvas, record.pdfPath, fingerprint, record.pdfPath, QString());
    QString error;
    bool opened = canvas->openPdf(record.pdfPath, &error);
    // An edited lesson keeps its source's lock.
    for (bool retry = false; !opened && canvas->lastOpenNeedsPassword(); retry = true) {
        QString password;
        if (!PasswordDialog::ask(record.name, retry, this, &password))
            break;
        canvas->setPassword(password);
        opened = canvas->openPdf(record.pdfPath, &error);
    }
    if (!opened) {
        m_guard->untrack(canvas);
        m_stack->removeWidget(canvas);
        delete canvas;
        logInfo(logBoard(), QStringLiteral("无法打开：%1（%2）").arg(record.pdfPath, error));
        statusBar()->showMessage(QStringLiteral("打开失败：%1").arg(record.name), 8000);
        return false;
    }
    if (record.board) {
        canvas->setAddPageTile(true);
        if (record.style.chalkboard)
            canvas->setPenColor(boardFirstPenColor(true));
    }
    OpenDocument doc;
    doc.pdfPath = record.pdfPath;
    doc.packagePath = record.packagePath;
    doc.displayName = record.name;
    doc.record = record;
    doc.nextRevision = revisionOf(record.pdfPath) + 1;
    QString statusText;
    if (restoring) {
        const RestoreResult gate = runRestoreGate(record.pdfPath);
        if (gate.outcome == RestoreResult::Outcome::Restored)
            canvas->importAnnotations(gate.annotations);
        doc.restoredInk = canvas->strokeCount() > 0;
        doc.dirty = true;
        statusText = QStringLiteral("已恢复上次未保存的%1").arg(record.board ? QStringLiteral("白板") : QStringLiteral("页面"));
    }
    const QString what = record.board ? QStringLiteral("%1（%2）").arg(record.name, boardKindLabel(record.style.kind))
                                      : record.name;
    logInfo(logBoard(), QStringLiteral("%1：%2 页，%3 ms，批注 %4 条")
                            .arg(what)
                            .arg(canvas->pageCount())
                            .arg(clock.elapsed())
                            .arg(canvas->strokeCount()));
    m_canvases.append(canvas);
    m_docs.append(doc);
    m_writer->track(canvas, record.pdfPath, record.pdfPath, fingerprint);
    showAddedDocument(canvas, statusText, 5000);
    return true;
}

void MainWindow::restoreUnsavedPages()
{
    for (const PageRecord &record : takeUnsavedPageRecords()) {
        const bool open = std::any_of(m_docs.cbegin(), m_docs.cend(),
                                      [&record](const OpenDocument &doc) { return doc.record.id == record.id; });
        if (!open)
            loadRecord(record, true);
    }
}

bool MainWindow::addBoardPage(int index)
{
    if (index < 0 || index >= m_docs.size() || !m_docs.at(index).record.board)
        return false;
    return insertBlankPage(index, m_canvases.at(index)->pageCount() - 1, m_docs.at(index).record.style);
}

bool MainWindow::insertBlankPage(int index, int afterPage, const BoardStyle &style)
{
    if (index < 0 || index >= m_docs.size() || m_insert)
        return false;
    PdfCanvas *canvas = m_canvases.at(index);
    if (!canvas->hasDocument() || canvas->isDrawing())
        return false;
    recordOperation("insert-page", QString::number(afterPage + 1));
    OpenDocument &doc = m_docs[index];
    QString error;
    if (doc.record.id.isEmpty()) {
        // The first page put into this lesson: from now on its pages are
        // this program's, kept until a save puts them into a package.
        doc.record.id = newPageRecordId();
        doc.record.name = doc.displayName;
        doc.record.packagePath = doc.packagePath;
        doc.record.originPath = m_writer->keyPath(canvas);
        doc.record.board = false;
        doc.nextRevision = 1;
    }
    doc.record.style = doc.record.board ? doc.record.style : style;
    auto job = std::make_unique<PageInsertJob>();
    job->canvas = canvas;
    job->shownPdf = canvas->path();
    job->afterPage = afterPage;
    job->style = style;
    // The pages under the ink: a private copy when the original has moved.
    job->request.sourcePath = m_guard->inkPdf(canvas, &error);
    if (job->request.sourcePath.isEmpty())
        job->request.sourcePath = canvas->path();
    job->request.password = canvas->password();
    job->request.after = afterPage;
    job->request.style = style;
    job->request.target = pageRevisionPath(doc.record.id, doc.nextRevision++);
    if (!ensurePageRecordFolder(&error)) {
        statusBar()->showMessage(error, 8000);
        return false;
    }
    PageInsertJob *raw = job.get();
    job->thread.reset(QThread::create([raw] { raw->ok = ::insertBlankPage(raw->request, &raw->error); }));
    connect(job->thread.get(), &QThread::finished, this, &MainWindow::finishBlankPageInsert);
    m_insert = std::move(job);
    statusBar()->showMessage(QStringLiteral("正在插入空白页…"));
    m_insert->thread->start();
    return true;
}

void MainWindow::finishBlankPageInsert()
{
    if (!m_insert)
        return;
    // Not under a pen in mid-stroke: the ink is rearranged below.
    if (m_insert->canvas && m_insert->canvas->isDrawing()) {
        QTimer::singleShot(50, this, &MainWindow::finishBlankPageInsert);
        return;
    }
    const std::unique_ptr<PageInsertJob> job = std::move(m_insert);
    job->thread->wait();
    statusBar()->clearMessage();
    PdfCanvas *canvas = job->canvas;
    const auto fail = [this, &job](const QString &error) {
        logInfo(logBoard(), QStringLiteral("插入空白页失败：%1（%2）").arg(job->request.sourcePath, error));
        if (!error.isEmpty())
            statusBar()->showMessage(error, 8000);
        QFile::remove(job->request.target);
        emit pageInsertFinished(false);
    };
    if (!job->ok)
        return fail(job->error);
    // The tab went, or an undo showed other pages while the worker ran.
    if (!canvas)
        return fail(QString());
    if (canvas->path() != job->shownPdf)
        return fail(QStringLiteral("未插入空白页：页面已改变"));
    // Ink after the new page moves down with its page, strokes made while
    // the worker ran included.
    InkPages moved;
    const InkPages &ink = canvas->ink();
    for (auto it = ink.cbegin(); it != ink.cend(); ++it)
        moved.insert(it.key() > job->afterPage ? it.key() + 1 : it.key(), it.value());
    QString error;
    if (!canvas->replacePages(job->request.target, moved, &error))
        return fail(QStringLiteral("插入空白页失败：%1").arg(error));
    logInfo(logBoard(), QStringLiteral("插入空白页：第 %1 页后（%2）").arg(job->afterPage + 1).arg(boardKindLabel(job->style.kind)));
    canvas->goToPage(job->afterPage + 1);
    emit pageInsertFinished(true);
}

void MainWindow::onPagesReplaced(PdfCanvas *canvas, const QString &pdfPath)
{
    const int index = int(m_canvases.indexOf(canvas));
    if (index < 0)
        return;
    OpenDocument &doc = m_docs[index];
    const QString oldKey = m_writer->keyPath(canvas);
    doc.pdfPath = pdfPath;
    doc.record.pdfPath = pdfPath;
    doc.record.saved = false;
    const QJsonObject fingerprint = sourceFingerprint(pdfPath);
    m_guard->track(canvas, pdfPath, fingerprint, pdfPath, QString());
    m_writer->untrack(canvas);
    m_writer->track(canvas, pdfPath, pdfPath, fingerprint);
    // The ink on the new pages is safe before the record names them.
    m_writer->noteInkChanged(canvas);
    QString error;
    const bool protectedNow = m_writer->flush(canvas, &error) && writePageRecord(doc.record, &error);
    if (!protectedNow) {
        logInfo(logBoard(), QStringLiteral("页面记录写入失败：%1").arg(error));
        statusBar()->showMessage(QStringLiteral("无法写入工作副本：%1").arg(error), 8000);
    } else if (oldKey != pdfPath) {
        removeWorkingCopy(oldKey);
    }
    refreshOpenTempFiles();
    if (!doc.dirty) {
        doc.dirty = true;
        m_tabs->setTabTitle(index, QStringLiteral("*") + doc.displayName);
    }
}

void MainWindow::onAddPageRequested(PdfCanvas *canvas)
{
    addBoardPage(int(m_canvases.indexOf(canvas)));
}

void MainWindow::onInsertPageRequested(PdfCanvas *canvas, int afterPage)
{
    const int index = int(m_canvases.indexOf(canvas));
    if (index < 0)
        return;
    BoardStyle style;
    if (BoardChooser::ask(QStringLiteral("插入空白页"), QStringLiteral("插入"), this, &style))
        insertBlankPage(m_canvases.indexOf(canvas), afterPage, style);
}

void MainWindow::dropPageRecord(int index)
{
    const QString id = m_docs.at(index).record.id;
    if (!id.isEmpty())
        removePageRecord(id);
}

void MainWindow::notePagesSaved(int index, const QString &packagePath)
{
    PageRecord &record = m_docs[index].record;
    if (record.id.isEmpty())
        return;
    record.packagePath = packagePath;
    record.saved = true;
    QString error;
    if (!writePageRecord(record, &error))
        logInfo(logBoard(), QStringLiteral("页面记录写入失败：%1").arg(error));
}
