#include "files/pdfexport_pipeline.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QPdfDocument>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

namespace {

// Two rasters in flight keep both threads busy; the byte budget makes very
// large pages (up to 160 MB each) take turns instead.
constexpr int kMaxInFlight = 2;
constexpr qint64 kInFlightBudget = 200LL * 1024 * 1024;
constexpr int kCancelPollMs = 50;

struct RenderedPage
{
    int page = -1;
    QImage image;
    qint64 bytes = 0;
    QString failure;   // non-empty: this page failed, nothing follows
};

// State shared by the render and encode threads.
struct Pipeline
{
    QMutex mutex;
    QWaitCondition changed;
    std::deque<RenderedPage> queue;
    int inFlight = 0;           // queued or being encoded
    qint64 inFlightBytes = 0;
    bool renderDone = false;
    std::atomic<bool> stop{false};

    void halt()
    {
        QMutexLocker lock(&mutex);
        stop = true;
        changed.wakeAll();
    }
};

void renderAll(const ExportSource &source, double dpi, Pipeline *pipe)
{
    QPdfDocument document;
    document.setPassword(source.password);
    document.load(source.pdfPath);
    const bool ready = document.status() == QPdfDocument::Status::Ready;
    const int count = int(source.pageSizes.size());
    for (int page = 0; page < count && !pipe->stop; ++page) {
        RenderedPage item;
        item.page = page;
        const QSize size = exportPixelSize(source.pageSizes.at(page), dpi);
        if (size.isEmpty()) {
            item.failure = QStringLiteral("第 %1 页尺寸无效").arg(page + 1);
        } else {
            item.bytes = qint64(size.width()) * size.height() * 4;
            {
                QMutexLocker lock(&pipe->mutex);
                while (!pipe->stop && pipe->inFlight > 0
                       && (pipe->inFlight >= kMaxInFlight
                           || pipe->inFlightBytes + item.bytes > kInFlightBudget))
                    pipe->changed.wait(&pipe->mutex);
                if (pipe->stop)
                    break;
            }
            if (ready)
                item.image = renderExportPage(&document, page, size);
            if (item.image.isNull())
                item.failure = QStringLiteral("第 %1 页渲染失败").arg(page + 1);
        }
        QMutexLocker lock(&pipe->mutex);
        const bool failed = !item.failure.isEmpty();
        ++pipe->inFlight;
        pipe->inFlightBytes += item.bytes;
        pipe->queue.push_back(std::move(item));
        pipe->changed.wakeAll();
        if (failed)
            break;
    }
    QMutexLocker lock(&pipe->mutex);
    pipe->renderDone = true;
    pipe->changed.wakeAll();
}

// Returns success; reports each finished page through onPage.
bool encodeAll(const ExportSource &source, ExportSink *sink, Pipeline *pipe,
               const std::function<void(int)> &onPage, QString *error)
{
    const int count = int(source.pageSizes.size());
    if (!sink->begin(count, error)) {
        pipe->halt();
        return false;
    }
    int done = 0;
    while (done < count) {
        RenderedPage item;
        {
            QMutexLocker lock(&pipe->mutex);
            while (!pipe->stop && pipe->queue.empty() && !pipe->renderDone)
                pipe->changed.wait(&pipe->mutex);
            if (pipe->stop) {
                *error = exportCancelledText();
                break;
            }
            if (pipe->queue.empty()) {
                *error = QStringLiteral("第 %1 页渲染失败").arg(done + 1);
                break;
            }
            item = std::move(pipe->queue.front());
            pipe->queue.pop_front();
        }
        bool ok = item.failure.isEmpty();
        if (ok) {
            finishExportPage(&item.image, item.page, source.pages, source.paintInk);
            ok = sink->addPage(item.page, item.image, source.pageSizes.at(item.page), error);
        } else {
            *error = item.failure;
        }
        item.image = QImage();
        {
            QMutexLocker lock(&pipe->mutex);
            --pipe->inFlight;
            pipe->inFlightBytes -= item.bytes;
            pipe->changed.wakeAll();
        }
        if (!ok)
            break;
        ++done;
        onPage(done);
    }
    if (done == count && sink->finish(error))
        return true;
    pipe->halt();
    sink->abandon();
    return false;
}

} // namespace

bool runExportPipeline(const ExportSource &source, double dpi, ExportSink *sink,
                       ExportMonitor *monitor, QString *error)
{
    QString message;
    QString *out = error ? error : &message;
    const int count = int(source.pageSizes.size());
    Pipeline pipe;
    QObject context;
    QEventLoop loop;
    std::atomic<bool> finished{false};
    bool ok = false;

    // Progress and the end are posted back to this thread's event loop.
    const auto onPage = [&context, &pipe, monitor, count](int done) {
        if (!monitor)
            return;
        QMetaObject::invokeMethod(&context, [&pipe, monitor, done, count] {
                monitor->progress(done, count);
                if (monitor->cancelRequested())
                    pipe.halt();
            }, Qt::QueuedConnection);
    };
    std::unique_ptr<QThread> renderer(QThread::create([&] { renderAll(source, dpi, &pipe); }));
    std::unique_ptr<QThread> encoder(QThread::create([&] {
        ok = encodeAll(source, sink, &pipe, onPage, out);
        finished = true;
        QMetaObject::invokeMethod(&context, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    }));
    renderer->setObjectName(QStringLiteral("export-render"));
    encoder->setObjectName(QStringLiteral("export-encode"));

    QTimer cancelPoll;
    cancelPoll.setInterval(kCancelPollMs);
    QObject::connect(&cancelPoll, &QTimer::timeout, &context, [&pipe, monitor] {
        if (monitor && monitor->cancelRequested())
            pipe.halt();
    });
    if (monitor)
        cancelPoll.start();

    renderer->start();
    encoder->start();
    if (!finished)
        loop.exec(monitor ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    encoder->wait();
    pipe.halt();
    renderer->wait();
    // Drop the posted calls that reference this frame.
    QCoreApplication::removePostedEvents(&context);
    return ok;
}
