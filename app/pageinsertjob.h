#pragma once

#include "app/mainwindow.h"
#include "files/pageinsert.h"

#include <QPointer>
#include <QString>
#include <QThread>

#include <memory>

class PdfCanvas;

// A blank page being put into a PDF on a worker thread. Whoever holds the
// job outlives the worker: the destructor waits for it.
struct MainWindow::PageInsertJob
{
    QPointer<PdfCanvas> canvas;
    // The PDF the canvas showed when the job began; a different one by the
    // end (an undo in between) means the result no longer fits.
    QString shownPdf;
    int afterPage = 0;
    BoardStyle style;
    PageInsertRequest request;
    std::unique_ptr<QThread> thread;
    // Written by the worker, read after it finished.
    bool ok = false;
    QString error;

    ~PageInsertJob()
    {
        if (thread)
            thread->wait();
    }
};
