#include "app/documentwriter.h"

#include "canvas/pdfcanvas.h"
#include "files/package.h"
#include "files/workingcopy.h"
#include "ink/annotationjson.h"
#include "system/diaglog.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace {

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return !path.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

bool writeWorkingCopySnapshot(const QString &keyPath, const QString &pdfPath, const InkPages &ink,
                              const QJsonObject &fingerprint, QString *error, const QString &inkPdf,
                              bool *sourceMatched)
{
    const bool matches = sameSource(sourceFingerprint(keyPath), fingerprint);
    if (sourceMatched)
        *sourceMatched = matches;
    // The package (keyPath, unchanged as just checked) brings back an
    // extracted PDF that vanished while the document was open.
    if (matches && looksLikePackage(keyPath))
        restoreExtractedPdf(pdfPath, keyPath);
    // While the fingerprint holds, the PDF stays where it points and only
    // the ink is written. Once it does not, the ink is still written (it is
    // the teacher's), with the pages it belongs to when they are at hand.
    return writeWorkingCopy(keyPath, annotationsFromInk(ink), fingerprint, error,
                            matches ? QByteArray() : readWhole(inkPdf));
}

WorkingCopyWriter::WorkingCopyWriter(QObject *parent)
    : QObject(parent)
    , m_thread(new QThread(this))
    , m_worker(new QObject)
{
    m_thread->setObjectName(QStringLiteral("workingCopyWriter"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

WorkingCopyWriter::~WorkingCopyWriter()
{
    // Queued writes still run before the thread ends: ink the teacher kept
    // must reach the disk.
    m_thread->quit();
    m_thread->wait();
}

void WorkingCopyWriter::runOnWorker(const std::function<void()> &job, Qt::ConnectionType type)
{
    QMetaObject::invokeMethod(m_worker, job, type);
}

void WorkingCopyWriter::track(PdfCanvas *canvas, const QString &keyPath, const QString &pdfPath,
                              const QJsonObject &fingerprint)
{
    Doc &doc = m_docs[canvas];
    if (doc.id == 0)
        doc.id = m_nextId++;
    doc.keyPath = keyPath;
    doc.pdfPath = pdfPath;
    doc.fingerprint = fingerprint;
    if (!doc.timer) {
        doc.timer = new QTimer(this);
        doc.timer->setSingleShot(true);
        doc.timer->setInterval(kWriteDelayMs);
        connect(doc.timer, &QTimer::timeout, this, [this, canvas] { queueWrite(canvas); });
    }
}

void WorkingCopyWriter::setInkPdf(PdfCanvas *canvas, const QString &inkPdf)
{
    auto it = m_docs.find(canvas);
    if (it != m_docs.end())
        it->inkPdf = inkPdf;
}

void WorkingCopyWriter::noteInkChanged(PdfCanvas *canvas)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end())
        return;
    ++it->changeSerial;
    // Not restarted by later changes: continuous writing still reaches the
    // disk once a second.
    if (!it->timer->isActive())
        it->timer->start();
}

void WorkingCopyWriter::queueWrite(PdfCanvas *canvas)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end() || it->queuedSerial == it->changeSerial)
        return;
    it->queuedSerial = it->changeSerial;
    // A copy-on-write snapshot: the worker converts and writes it.
    const InkPages ink = canvas->ink();
    const QString keyPath = it->keyPath;
    const QString pdfPath = it->pdfPath;
    const QString inkPdf = it->inkPdf;
    const QJsonObject fingerprint = it->fingerprint;
    const quint64 id = it->id;
    QPointer<WorkingCopyWriter> self(this);
    runOnWorker(
        [self, canvas, id, keyPath, pdfPath, inkPdf, ink, fingerprint] {
            QString error;
            bool matched = true;
            const bool ok = writeWorkingCopySnapshot(keyPath, pdfPath, ink, fingerprint, &error, inkPdf, &matched);
            if (!ok)
                logInfo(QStringLiteral("cache"), QStringLiteral("工作副本写入失败：%1（%2）")
                                                     .arg(workingCopyPath(keyPath), error));
            if (!self)
                return;
            QMetaObject::invokeMethod(
                self.data(),
                [self, canvas, id, ok, error, matched] {
                    // Only for the document it was written for: a canvas
                    // closed since may share its address with a new one.
                    if (self && self->m_docs.value(canvas).id == id)
                        emit self->written(canvas, ok, error, matched);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

bool WorkingCopyWriter::flush(PdfCanvas *canvas, QString *error)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end())
        return true;
    it->timer->stop();
    if (it->queuedSerial == it->changeSerial) {
        waitIdle();
        return true;
    }
    it->queuedSerial = it->changeSerial;
    const InkPages ink = canvas->ink();
    const QString keyPath = it->keyPath;
    const QString pdfPath = it->pdfPath;
    const QString inkPdf = it->inkPdf;
    const QJsonObject fingerprint = it->fingerprint;
    bool ok = false;
    QString message;
    // Runs after every write queued before it, so the newest ink lands last.
    runOnWorker([&] { ok = writeWorkingCopySnapshot(keyPath, pdfPath, ink, fingerprint, &message, inkPdf); },
                Qt::BlockingQueuedConnection);
    if (!ok)
        logInfo(QStringLiteral("cache"),
                QStringLiteral("工作副本写入失败：%1（%2）").arg(workingCopyPath(keyPath), message));
    if (error)
        *error = message;
    return ok;
}

void WorkingCopyWriter::waitIdle()
{
    runOnWorker([] {}, Qt::BlockingQueuedConnection);
}

void WorkingCopyWriter::discard(PdfCanvas *canvas)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end())
        return;
    it->timer->stop();
    const QString keyPath = it->keyPath;
    // Behind any write still queued, so nothing recreates the file after.
    runOnWorker([keyPath] { removeWorkingCopy(keyPath); }, Qt::BlockingQueuedConnection);
    // Still tracked: when a later prompt keeps the document open, ink drawn
    // from now on is written again.
    it = m_docs.find(canvas);
    it->queuedSerial = it->changeSerial;
}

void WorkingCopyWriter::untrack(PdfCanvas *canvas)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end())
        return;
    delete it->timer;
    m_docs.erase(it);
}

void WorkingCopyWriter::savedToPackage(PdfCanvas *canvas, const QString &packagePath)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end())
        return;
    it->timer->stop();
    const bool own = it->keyPath == packagePath;
    runOnWorker(
        [packagePath, own] {
            if (own)
                removeWorkingCopy(packagePath);
            else if (QFileInfo::exists(workingCopyPath(packagePath)))
                keepMismatchedWorkingCopy(workingCopyPath(packagePath));
        },
        Qt::BlockingQueuedConnection);
    it = m_docs.find(canvas);
    it->keyPath = packagePath;
    it->fingerprint = sourceFingerprint(packagePath);
    it->queuedSerial = it->changeSerial;
}
