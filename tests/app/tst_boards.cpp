// Boards and blank pages: every ruling is drawn where its lines are and
// nowhere else, the "＋" tile adds a page, a blank page put into an inked
// lesson keeps each stroke on its page and undoes as one step, a saved
// board reopens as it was, a second start hands "--new-board" to the
// running window, and an unsaved board comes back with its ink after a kill.
#include "app/boardchooser.h"
#include "app/documentwriter.h"
#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "canvas/pagegrid.h"
#include "canvas/pdfcanvas.h"
#include "files/boardstore.h"
#include "files/package.h"
#include "files/pageinsert.h"
#include "files/workingcopy.h"
#include "ink/annotationjson.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QPdfDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

constexpr int kProcessWaitMs = 60000;

double distanceToSegment(const QPointF &p, const QLineF &line)
{
    const QPointF d = line.p2() - line.p1();
    const double length2 = d.x() * d.x() + d.y() * d.y();
    const double t = length2 > 0 ? std::clamp(QPointF::dotProduct(p - line.p1(), d) / length2, 0.0, 1.0) : 0;
    const QPointF nearest = line.p1() + t * d;
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

bool sameSize(const QSizeF &a, const QSizeF &b)
{
    return std::abs(a.width() - b.width()) < 0.05 && std::abs(a.height() - b.height()) < 0.05;
}

int colourDistance(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// Three strokes a page, told apart by colour: page k's are (k*40, 0, 0).
InkPages inkOnPages(const QList<int> &pages)
{
    InkPages ink;
    for (int page : pages) {
        Stroke stroke;
        stroke.points = { QPointF(0.2, 0.3), QPointF(0.5, 0.35), QPointF(0.8, 0.3) };
        stroke.color = QColor(page * 40, 0, 0);
        stroke.updateBounds();
        ink[page] = { stroke, stroke, stroke };
    }
    return ink;
}

QList<int> inkRedsByPage(const InkPages &ink, int pages)
{
    QList<int> reds;
    for (int page = 0; page < pages; ++page)
        reds.append(ink.contains(page) ? ink.value(page).first().color.red() : -1);
    return reds;
}

QProcessEnvironment programEnvironment(const QString &log)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LECTERN_LOG"), log);
    return env;
}

// qpdf's own verdict on a file ("" when it has none to give).
QString qpdfProblems(const QStringList &arguments)
{
    const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
    if (qpdf.isEmpty())
        return QString();
    QProcess check;
    check.start(qpdf, arguments);
    if (!check.waitForFinished(kProcessWaitMs))
        return QStringLiteral("qpdf did not finish");
    return check.exitCode() == 0 ? QString() : QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError());
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestBoards : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(workingCopyFolder()).removeRecursively();
        QDir(tempFolder()).removeRecursively();
    }

    void cleanup() { TestUtil::closeStrayModals(); }

    // Each kind on each background: the middle of every ruling line is
    // drawn in a colour other than the background, and every point well
    // away from the lines shows the bare background.
    void rulingIsDrawnWhereItsLinesAre_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("chalk");
        for (BoardKind kind : boardKinds()) {
            QTest::newRow(qPrintable(boardKindKey(kind))) << int(kind) << false;
            QTest::newRow(qPrintable(boardKindKey(kind) + QStringLiteral("-chalk"))) << int(kind) << true;
        }
    }

    void rulingIsDrawnWhereItsLinesAre()
    {
        QFETCH(int, kind);
        QFETCH(bool, chalk);
        const BoardStyle style{ BoardKind(kind), chalk };
        MainWindow window;
        window.resize(1280, 800);
        window.show();
        QVERIFY(window.newBoard(style));
        QCOMPARE(window.documentCount(), 1);
        const OpenDocument &doc = window.document(0);
        QCOMPARE(doc.displayName, QStringLiteral("白板 1"));
        QVERIFY(doc.pdfPath.startsWith(pageRecordFolder()));
        PdfCanvas *canvas = window.canvas(0);
        QCOMPARE(canvas->pageSizePt(0), boardPageSize());
        // The dark board hands out white chalk first.
        QCOMPARE(canvas->penColor(), chalk ? QColor(Qt::white) : QColor(211, 47, 47));

        QPdfDocument pdf;
        QCOMPARE(pdf.load(doc.pdfPath), QPdfDocument::Error::None);
        constexpr double kScale = 2;
        const QSizeF page = boardPageSize();
        const QImage image = pdf.render(0, (page * kScale).toSize()).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!image.isNull());
        const QColor background = boardBackground(chalk);
        const QList<BoardRule> rules = boardRules(style, page);
        QCOMPARE(rules.isEmpty(), style.kind == BoardKind::Blank);
        for (const BoardRule &rule : rules) {
            const QPointF mid = rule.line.center() * kScale;
            // A dashed line may have a gap right at its middle: look along it.
            bool inked = false;
            for (double t = 0.42; t <= 0.58 && !inked; t += 0.02) {
                const QPoint p = (rule.line.pointAt(t) * kScale).toPoint();
                inked = image.rect().contains(p) && colourDistance(image.pixelColor(p), background) > 24;
            }
            QVERIFY2(inked, qPrintable(QStringLiteral("no line at %1,%2").arg(mid.x()).arg(mid.y())));
        }
        const QList<QRectF> bands = boardBands(style, page);
        int bare = 0;
        for (double y = 5; y < page.height(); y += 13) {
            for (double x = 5; x < page.width(); x += 17) {
                const QPointF p(x, y);
                const bool nearLine = std::any_of(rules.cbegin(), rules.cend(), [&p](const BoardRule &rule) {
                    return distanceToSegment(p, rule.line) < 3;
                });
                const bool inBand = std::any_of(bands.cbegin(), bands.cend(),
                                                [&p](const QRectF &band) { return band.adjusted(-3, -3, 3, 3).contains(p); });
                if (nearLine || inBand)
                    continue;
                ++bare;
                const QColor seen = image.pixelColor((p * kScale).toPoint());
                QVERIFY2(colourDistance(seen, background) <= 6,
                         qPrintable(QStringLiteral("stray ink at %1,%2: %3").arg(x).arg(y).arg(seen.name())));
            }
        }
        QVERIFY(bare > 200);
        // The canvas shows the board's own background.
        QTRY_VERIFY(canvas->syncRenderCount() > 0);
        const QImage shown = canvas->viewport()->grab().toImage();
        const QRectF sheet = canvas->pageRect(0);
        QVERIFY(!sheet.isEmpty());
        const QPoint corner = (sheet.topLeft() + QPointF(5, 5)).toPoint() * shown.devicePixelRatio();
        QVERIFY(colourDistance(shown.pixelColor(corner), background) <= 12);
    }

    // The "＋" tile below the last page adds one of the same kind, and the
    // view goes there; undo takes it away again.
    // The window closing while a page is being made leaves no page file
    // that no record names.
    void closingMidInsertLeavesNoStrayPage()
    {
        QString id;
        {
            MainWindow window;
            window.show();
            QVERIFY(window.newBoard(BoardStyle{ BoardKind::Grid, false }));
            id = window.document(0).record.id;
            QVERIFY(window.addBoardPage(0));
            QVERIFY(window.isInsertingPage());
            window.workingCopyWriter()->discard(window.canvas(0));
        }
        QVERIFY(!id.isEmpty());
        QVERIFY(QFileInfo::exists(pageRevisionPath(id, 0)));
        QVERIFY(!QFileInfo::exists(pageRevisionPath(id, 1)));
        removePageRecord(id);
    }

    void plusTileAddsAPage()
    {
        MainWindow window;
        window.resize(1280, 800);
        window.show();
        QVERIFY(window.newBoard(BoardStyle{ BoardKind::Staff, false }));
        PdfCanvas *canvas = window.canvas(0);
        QVERIFY(TestUtil::drawMouseStroke(canvas, 0.3));
        auto *tile = qobject_cast<QAbstractButton *>(canvas->addPageTile());
        QVERIFY(tile);
        canvas->goToPage(0);
        canvas->verticalScrollBar()->setValue(canvas->verticalScrollBar()->maximum());
        QTRY_VERIFY(tile->isVisible() && canvas->viewport()->rect().contains(tile->geometry().center()));
        QSignalSpy inserted(&window, &MainWindow::pageInsertFinished);
        QTest::mouseClick(tile, Qt::LeftButton);
        QVERIFY(window.isInsertingPage());
        // A second tap while the page is being made adds nothing more.
        QTest::mouseClick(tile, Qt::LeftButton);
        QTRY_COMPARE(inserted.size(), 1);
        QCOMPARE(inserted.first().first().toBool(), true);
        QCOMPARE(canvas->pageCount(), 2);
        QCOMPARE(canvas->pageSizePt(1), boardPageSize());
        QCOMPARE(canvas->currentPage(), 1);
        QCOMPARE(window.document(0).pdfPath, canvas->path());
        QCOMPARE(strokeCount(canvas->ink()), 1);
        QVERIFY(window.document(0).dirty);
        // The new layout is what the record names, so a crash keeps it.
        const QList<PageRecord> records = takeUnsavedPageRecords();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().pdfPath, canvas->path());
        canvas->undo();
        QCOMPARE(canvas->pageCount(), 1);
        QCOMPARE(strokeCount(canvas->ink()), 1);
        canvas->redo();
        QCOMPARE(canvas->pageCount(), 2);
        window.workingCopyWriter()->discard(canvas);
    }

    // "在此页后插入空白页" after page 2 of a three-page lesson inked on every
    // page: the ink of page 3 moves to page 4 with its page, page 3 is the
    // blank one, and one undo brings the three pages back as they were.
    void insertAfterPageTwoKeepsInkAndUndoes()
    {
        QTemporaryDir dir;
        const QString lesson = dir.filePath(QStringLiteral("第三课.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(lesson, 3));
        MainWindow window;
        window.resize(1280, 800);
        window.show();
        window.openPath(lesson);
        QCOMPARE(window.documentCount(), 1);
        PdfCanvas *canvas = window.canvas(0);
        canvas->importAnnotations(annotationsFromInk(inkOnPages({ 0, 1, 2 })));
        QCOMPARE(inkRedsByPage(canvas->ink(), 3), (QList<int>{ 0, 40, 80 }));
        const QSizeF a4 = canvas->pageSizePt(1);

        canvas->goToPage(1);
        QTRY_COMPARE(canvas->currentPage(), 1);
        PageGrid grid(canvas, nullptr);
        bool asked = false;
        TestUtil::onNextModal<BoardChooser>([&asked](BoardChooser *chooser) {
            asked = true;
            chooser->kindButton(BoardKind::Lines)->click();
            chooser->accept();
        });
        QSignalSpy inserted(&window, &MainWindow::pageInsertFinished);
        grid.insertButton()->click();
        QVERIFY(asked);
        // The teacher writes on page 2 while the page is being made: the
        // page goes in after the pen lifts, and the stroke is kept.
        QVERIFY(window.isInsertingPage());
        const int before = strokeCount(canvas->ink());
        const qsizetype onPage2 = canvas->ink().value(1).size();
        QWidget *viewport = canvas->viewport();
        const auto at = [canvas](double x) { return TestUtil::pagePoint(*canvas, x, 0.5, 1).toPoint(); };
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at(0.2));
        for (int i = 1; i <= 8; ++i) {
            QTest::mouseMove(viewport, at(0.2 + 0.06 * i));
            QTest::qWait(30);
        }
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at(0.7));
        QTRY_COMPARE(inserted.size(), 1);
        QCOMPARE(inserted.first().first().toBool(), true);
        QCOMPARE(strokeCount(canvas->ink()), before + 1);
        QCOMPARE(canvas->ink().value(1).size(), onPage2 + 1);
        QCOMPARE(canvas->pageCount(), 4);
        QCOMPARE(inkRedsByPage(canvas->ink(), 4), (QList<int>{ 0, 40, -1, 80 }));
        QVERIFY(sameSize(canvas->pageSizePt(2), a4));
        QCOMPARE(canvas->currentPage(), 2);
        QVERIFY(window.document(0).dirty);
        QCOMPARE(window.document(0).pdfPath, canvas->path());
        QVERIFY(canvas->path() != lesson);
        // The lesson's own file is untouched.
        QPdfDocument original;
        QCOMPARE(original.load(lesson), QPdfDocument::Error::None);
        QCOMPARE(original.pageCount(), 3);
        // The working copy of the new layout carries the moved ink.
        QVERIFY(window.workingCopyWriter()->flush(canvas));
        QJsonObject copy;
        QVERIFY(readPackage(workingCopyPath(canvas->path()), nullptr, &copy));
        QCOMPARE(inkRedsByPage(inkFromAnnotations(copy), 4), (QList<int>{ 0, 40, -1, 80 }));

        canvas->undo();
        QCOMPARE(canvas->pageCount(), 3);
        QCOMPARE(canvas->path(), lesson);
        QCOMPARE(window.document(0).pdfPath, lesson);
        QCOMPARE(inkRedsByPage(canvas->ink(), 3), (QList<int>{ 0, 40, 80 }));
        QCOMPARE(strokeCount(canvas->ink()), 10);
        window.workingCopyWriter()->discard(canvas);
    }

    // A blank page goes into a plain PDF, one whose cross-references are
    // streams (as most big books now), and a locked one: each result is
    // sound to qpdf, has the page where it was asked for at the size of the
    // page before it, and the locked one stays locked.
    void insertedPdfIsSound_data()
    {
        QTest::addColumn<QStringList>("prepare");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QStringList() << QString();
        QTest::newRow("xref-streams") << QStringList{ QStringLiteral("--object-streams=generate") } << QString();
        QTest::newRow("locked") << QStringList{ QStringLiteral("--encrypt"), QStringLiteral("甲乙"), QStringLiteral("owner"),
                                                QStringLiteral("256"), QStringLiteral("--") }
                                << QStringLiteral("甲乙");
    }

    void insertedPdfIsSound()
    {
        QFETCH(QStringList, prepare);
        QFETCH(QString, password);
        if (QStandardPaths::findExecutable(QStringLiteral("qpdf")).isEmpty())
            QSKIP("qpdf is not installed");
        QTemporaryDir dir;
        const QString plain = dir.filePath(QStringLiteral("plain.pdf"));
        QVERIFY(TestUtil::writePdf(plain, { QSizeF(595, 842), QSizeF(842, 595), QSizeF(595, 842) }));
        QString source = plain;
        if (!prepare.isEmpty()) {
            source = dir.filePath(QStringLiteral("source.pdf"));
            QCOMPARE(qpdfProblems(prepare + QStringList{ plain, source }), QString());
        }
        PageInsertRequest request;
        request.sourcePath = source;
        request.password = password;
        request.after = 1;
        request.style = BoardStyle{ BoardKind::Graph, false };
        request.target = dir.filePath(QStringLiteral("inserted.pdf"));
        QString error;
        QVERIFY2(insertBlankPage(request, &error), qPrintable(error));
        QStringList check{ QStringLiteral("--check") };
        if (!password.isEmpty())
            check.append(QStringLiteral("--password=") + password);
        QCOMPARE(qpdfProblems(check + QStringList{ request.target }), QString());
        QPdfDocument pdf;
        if (!password.isEmpty()) {
            QCOMPARE(pdf.load(request.target), QPdfDocument::Error::IncorrectPassword);
            pdf.setPassword(password);
        }
        QCOMPARE(pdf.load(request.target), QPdfDocument::Error::None);
        QCOMPARE(pdf.pageCount(), 4);
        QVERIFY(sameSize(pdf.pagePointSize(2), QSizeF(842, 595)));
        QVERIFY(sameSize(pdf.pagePointSize(3), QSizeF(595, 842)));
        // The new page is the ruled one: its centre is on the axes.
        const QImage page = pdf.render(2, QSize(842, 595));
        QVERIFY(colourDistance(page.pixelColor(421, 297), QColor(Qt::white)) > 24);
        // The source is never touched.
        QPdfDocument original;
        original.setPassword(password);
        QCOMPARE(original.load(source), QPdfDocument::Error::None);
        QCOMPARE(original.pageCount(), 3);
        // A page that does not exist is refused, and nothing is written.
        request.after = 3;
        request.target = dir.filePath(QStringLiteral("never.pdf"));
        QVERIFY(!insertBlankPage(request, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(request.target));
    }

    // A board of two pages with ink saves as a package; reopened, it has the
    // same pages, ruling and ink, and qpdf finds its source.pdf sound.
    void savedBoardReopensAsItWas()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("白板 1.dpz"));
        QByteArray savedPdf;
        QJsonObject savedInk;
        {
            MainWindow window;
            window.resize(1280, 800);
            window.show();
            QVERIFY(window.newBoard(BoardStyle{ BoardKind::Mizige, true }));
            PdfCanvas *canvas = window.canvas(0);
            QSignalSpy inserted(&window, &MainWindow::pageInsertFinished);
            QVERIFY(window.addBoardPage(0));
            QTRY_COMPARE(inserted.size(), 1);
            QVERIFY(TestUtil::drawMouseStroke(canvas, 0.4));
            canvas->goToPage(1);
            QString proposed;
            TestUtil::onNextModal<QFileDialog>([&proposed, &target](QFileDialog *dialog) {
                proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
                TestUtil::chooseFile(dialog, target);
            });
            QVERIFY(window.saveAs(0));
            QCOMPARE(proposed, QStringLiteral("白板 1.dpz"));
            QVERIFY(!window.document(0).dirty);
            QVERIFY(readPackage(target, &savedPdf, &savedInk));
            QCOMPARE(strokeCount(inkFromAnnotations(savedInk)), 1);
            QFile shown(canvas->path());
            QVERIFY(shown.open(QIODevice::ReadOnly));
            QCOMPARE(savedPdf, shown.readAll());
        }
        // A clean close leaves no record behind to come back.
        QCOMPARE(takeUnsavedPageRecords().size(), 0);

        const QString extracted = dir.filePath(QStringLiteral("source.pdf"));
        QFile out(extracted);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(savedPdf);
        out.close();
        const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
        if (!qpdf.isEmpty()) {
            QProcess check;
            check.start(qpdf, { QStringLiteral("--check"), extracted });
            QVERIFY(check.waitForFinished(kProcessWaitMs));
            QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
        }

        MainWindow again;
        again.resize(1280, 800);
        again.show();
        again.openPath(target);
        QCOMPARE(again.documentCount(), 1);
        PdfCanvas *canvas = again.canvas(0);
        QCOMPARE(canvas->pageCount(), 2);
        QCOMPARE(canvas->pageSizePt(1), boardPageSize());
        QCOMPARE(canvas->exportAnnotations(), savedInk);
        QPdfDocument pdf;
        QCOMPARE(pdf.load(again.document(0).pdfPath), QPdfDocument::Error::None);
        const QImage page = pdf.render(1, QSize(640, 360));
        QVERIFY(colourDistance(page.pixelColor(4, 4), boardBackground(true)) <= 12);
    }

    // "--new-board tianzige" from a second start opens the board in the
    // window that runs, and the second start exits 0; a kind that does not
    // exist is refused with a message and a non-zero exit.
    void newBoardIsForwardedToTheRunningWindow()
    {
        const QString log = QDir::temp().filePath(QStringLiteral("boards-forward.log"));
        QFile::remove(log);
        QProcess first;
        first.setProcessEnvironment(programEnvironment(log));
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(TestUtil::lecternBinary(), {});
        QVERIFY(first.waitForStarted());
        auto stopFirst = qScopeGuard([&first] {
            first.kill();
            first.waitForFinished();
        });
        QVERIFY(TestUtil::waitForServer(singleInstanceServerName(), &first));

        QProcess second;
        second.setProcessEnvironment(programEnvironment(log));
        second.start(TestUtil::lecternBinary(), { QStringLiteral("--new-board"), QStringLiteral("tianzige") });
        QVERIFY(second.waitForFinished(kProcessWaitMs));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(readText(log).contains(QStringLiteral("board: 白板 1（田字格）：1 页")), kProcessWaitMs);
        QCOMPARE(first.state(), QProcess::Running);

        QProcess wrong;
        wrong.setProcessEnvironment(programEnvironment(log));
        wrong.start(TestUtil::lecternBinary(), { QStringLiteral("--new-board=chalk") });
        QVERIFY(wrong.waitForFinished(kProcessWaitMs));
        QVERIFY(wrong.exitCode() != 0);
        QVERIFY(QString::fromUtf8(wrong.readAllStandardError()).contains(QStringLiteral("未知的白板样式")));
    }

    // Ink on a board that was never saved, then SIGKILL: the next start
    // brings the board back with its ink.
    void unsavedBoardSurvivesAKill()
    {
#ifdef LECTERN_SANITIZED
        QSKIP("the sanitizer owns the child's signals");
#endif
        const QString log = QDir::temp().filePath(QStringLiteral("boards-kill.log"));
        QFile::remove(log);
        QProcess first;
        first.setProcessEnvironment(programEnvironment(log));
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(TestUtil::lecternBinary(), { QStringLiteral("--selftest-smoke"), QStringLiteral("lectern:new-board:grid") });
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readText(log).contains(QStringLiteral("board: 白板 1（方格）：1 页")), kProcessWaitMs);
        // The working copy holds the three strokes (written within a second).
        QList<PageRecord> records;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&records] {
                records = takeUnsavedPageRecords();
                QJsonObject json;
                return records.size() == 1 && readPackage(workingCopyPath(records.first().pdfPath), nullptr, &json)
                    && strokeCount(inkFromAnnotations(json)) == 3;
            }(),
            kProcessWaitMs);
        first.kill();
        QVERIFY(first.waitForFinished(kProcessWaitMs));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);

        QProcess second;
        second.setProcessEnvironment(programEnvironment(log));
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(TestUtil::lecternBinary(), {});
        QVERIFY(second.waitForStarted());
        auto stopSecond = qScopeGuard([&second] {
            second.kill();
            second.waitForFinished();
        });
        // Once at the first start with no ink yet, then restored with all three.
        const QRegularExpression restored(QStringLiteral("board: 白板 1（方格）：1 页，\\d+ ms，批注 3 条"));
        QTRY_VERIFY_WITH_TIMEOUT(restored.match(readText(log)).hasMatch(), kProcessWaitMs);
    }
};

QTEST_MAIN(TestBoards)
#include "tst_boards.moc"
