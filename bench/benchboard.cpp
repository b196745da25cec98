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
#include "files/workingcopy.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
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

// What a save of document index costs: the PDF the ink is on, read, and
// the package written.
bool savePackage(const MainWindow &window, int index, const QString &target, double *ms)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(window.document(index).pdfPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pdf = file.readAll();
    QString error;
    if (!writePackage(target, pdf, window.canvas(index)->exportAnnotations(), &error)) {
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
    if (!window.newBoard(BoardStyle{ BoardKind::Tianzige, false }) || !waitForPaint(window.canvas(0))) {
        std::fprintf(stderr, "--bench-board: the board was not painted\n");
        return 1;
    }
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
    double plainMs = 0;
    if (!savePackage(window, 1, out.filePath(QStringLiteral("plain.dpz")), &plainMs))
        return 1;
    timer.restart();
    if (!window.insertBlankPage(1, 0, BoardStyle{ BoardKind::Grid, false }))
        return 1;
    const double insertMs = msSince(timer);
    double savedMs = 0;
    if (!savePackage(window, 1, out.filePath(QStringLiteral("inserted.dpz")), &savedMs))
        return 1;
    printMs("save_plain_ms", plainMs);
    printMs("insert_ms", insertMs);
    printMs("save_after_insert_ms", savedMs);
    printMs("insert_and_save_ms", insertMs + savedMs);
    printLine("insert_save_ratio", QString::number((insertMs + savedMs) / std::max(plainMs, 0.01), 'f', 2));
    printLine("pages_after", QString::number(window.canvas(1)->pageCount()));
    // The bench's pages are no teacher's: nothing of them may come back.
    for (int i = 0; i < window.documentCount(); ++i) {
        window.workingCopyWriter()->discard(window.canvas(i));
        removePageRecord(window.document(i).record.id);
    }
    return 0;
}
