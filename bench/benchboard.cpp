// --bench-board FILE: a new board from the start of the process to its first
// painted page, and a blank page put into FILE (a big book) then saved as a
// package, against saving it without the insertion in the same run.
#include "bench/bench.h"
#include "bench/benchutil.h"
#include "bench/procinfo.h"

#include "app/documentwriter.h"
#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"
#include "files/boardstore.h"
#include "files/package.h"
#include "files/pageinsert.h"
#include "files/workingcopy.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace BenchUtil;

namespace {

bool waitForPaint(PdfCanvas *canvas)
{
    const QDeadlineTimer deadline(30000);
    while (canvas->syncRenderCount() == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return canvas->syncRenderCount() > 0;
}

constexpr int kRounds = 5;

// What a save costs: the PDF the ink is on, read, and the package written.
bool savePackage(const QString &pdfPath, const QJsonObject &ink, const QString &target, double *ms)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(pdfPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pdf = file.readAll();
    QString error;
    if (!writePackage(target, pdf, ink, &error)) {
        std::fprintf(stderr, "--bench-board: %s\n", error.toUtf8().constData());
        return false;
    }
    *ms = msSince(timer);
    return true;
}

} // namespace

int runBoardBench(const QString &file)
{
    const qint64 startedBefore = processUptimeMs();
    QElapsedTimer timer;
    timer.start();
    MainWindow window;
    window.resize(1920, 1080);
    window.show();
    printMs("window_ready_ms", msSince(timer));
    QElapsedTimer boardTimer;
    boardTimer.start();
    if (!window.newBoard(BoardStyle{ BoardKind::Tianzige, false }) || !waitForPaint(window.canvas(0))) {
        std::fprintf(stderr, "--bench-board: the board was not painted\n");
        return 1;
    }
    printMs("new_board_to_paint_ms", msSince(boardTimer));
    const double boardMs = msSince(timer);
    printMs("board_to_first_paint_ms", boardMs);
    printLine("process_start_ms", QString::number(startedBefore));
    printMs("start_to_board_paint_ms", boardMs + double(std::max<qint64>(startedBefore, 0)));

    QTemporaryDir out;
    timer.restart();
    window.openPath(file);
    if (window.documentCount() != 2 || !waitForPaint(window.canvas(1))) {
        std::fprintf(stderr, "--bench-board: cannot open %s\n", file.toUtf8().constData());
        return 1;
    }
    printMs("open_ms", msSince(timer));
    printLine("pages", QString::number(window.canvas(1)->pageCount()));
    const QJsonObject ink = window.canvas(1)->exportAnnotations();
    // Rounds in turn, so a busy moment of the machine hits both sides.
    QList<double> plain;
    QList<double> inserted;
    QList<double> insertOnly;
    for (int round = 0; round < kRounds; ++round) {
        double ms = 0;
        if (!savePackage(file, ink, out.filePath(QStringLiteral("plain-%1.dpz").arg(round)), &ms))
            return 1;
        plain.append(ms);
        PageInsertRequest request;
        request.sourcePath = file;
        request.after = round;
        request.target = out.filePath(QStringLiteral("inserted-%1.pdf").arg(round));
        timer.restart();
        QString error;
        if (!insertBlankPage(request, &error)) {
            std::fprintf(stderr, "--bench-board: %s\n", error.toUtf8().constData());
            return 1;
        }
        const double insertMs = msSince(timer);
        if (!savePackage(request.target, ink, out.filePath(QStringLiteral("inserted-%1.dpz").arg(round)), &ms))
            return 1;
        insertOnly.append(insertMs);
        inserted.append(insertMs + ms);
    }
    const double plainMs = percentile(plain, 0.5);
    const double insertedMs = percentile(inserted, 0.5);
    printMs("save_plain_ms", plainMs);
    printMs("insert_pdf_ms", percentile(insertOnly, 0.5));
    printMs("insert_and_save_ms", insertedMs);
    printLine("insert_save_ratio", QString::number(insertedMs / std::max(plainMs, 0.01), 'f', 2));

    // The whole step as the teacher sees it: the PDF, the canvas showing
    // the new layout, and its working copy and record written.
    timer.restart();
    QEventLoop loop;
    bool insertedOk = false;
    QObject::connect(&window, &MainWindow::pageInsertFinished, &loop, [&](bool ok) {
        insertedOk = ok;
        loop.quit();
    });
    if (!window.insertBlankPage(1, 0, BoardStyle{ BoardKind::Grid, false }))
        return 1;
    loop.exec();
    if (!insertedOk)
        return 1;
    printMs("window_insert_ms", msSince(timer));
    printLine("pages_after", QString::number(window.canvas(1)->pageCount()));
    // The bench's pages are no teacher's: nothing of them may come back.
    for (int i = 0; i < window.documentCount(); ++i) {
        window.workingCopyWriter()->discard(window.canvas(i));
        removePageRecord(window.document(i).record.id);
    }
    return 0;
}
