#include "app/sourceguard.h"

#include "files/boardstore.h"

#include "files/privatecopy.h"
#include "files/workingcopy.h"
#include "system/diaglog.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

namespace {

QString logCache()
{
    return QStringLiteral("cache");
}

} // namespace

SourceGuard::SourceGuard(QObject *parent)
    : QObject(parent)
    , m_thread(new QThread(this))
    , m_worker(new QObject)
    , m_watcher(new QFileSystemWatcher(this))
{
    m_thread->setObjectName(QStringLiteral("sourceGuard"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &SourceGuard::onFileChanged);
    m_thread->start();
}

SourceGuard::~SourceGuard()
{
    // A copy under way finishes; its file is complete or not there at all.
    m_thread->quit();
    m_thread->wait();
}

void SourceGuard::runOnWorker(const std::function<void()> &job, bool wait)
{
    QMetaObject::invokeMethod(m_worker, job, wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void SourceGuard::waitIdle()
{
    runOnWorker([] {}, true);
}

void SourceGuard::track(PdfCanvas *canvas, const QString &originalPath, const QJsonObject &originalFingerprint,
                        const QString &pdfPath, const QString &packagePath)
{
    untrack(canvas);
    Doc doc;
    doc.serial = m_nextSerial++;
    doc.originalPath = originalPath;
    doc.originalFingerprint = originalFingerprint;
    doc.packagePath = packagePath;
    doc.pdfPath = pdfPath;
    // The program's own PDFs (derived ones, and pages made here) need no copy.
    if (!isInTempFolder(pdfPath) && !isPageRecordFile(pdfPath)) {
        // Held from before the canvas reads it: whatever happens to the path
        // later, this handle still reads the pages the ink is drawn on.
        doc.pdfFingerprint = pdfPath == originalPath ? originalFingerprint : sourceFingerprint(pdfPath);
        // Let go on the thread that made it, whichever job lets go last.
        std::shared_ptr<QFile> held(new QFile(pdfPath), [](QFile *file) { file->deleteLater(); });
        if (held->open(QIODevice::ReadOnly))
            doc.held = held;
        doc.copyPath = privateCopyPath(doc.pdfFingerprint);
        doc.copy = CopyState::None;
    }
    m_docs.insert(canvas, doc);
    watch(originalPath);
}

void SourceGuard::untrack(PdfCanvas *canvas)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end())
        return;
    const QString original = it->originalPath;
    // The handle goes with the last job that reads it. The copy stays, as
    // every temporary file does when a lesson closes: opened again
    // unchanged, the lesson reuses it; otherwise the sweep takes it.
    m_docs.erase(it);
    bool stillWatched = false;
    for (const Doc &doc : std::as_const(m_docs))
        stillWatched = stillWatched || doc.originalPath == original;
    if (!stillWatched)
        m_watcher->removePath(original);
}

void SourceGuard::retarget(PdfCanvas *canvas, const QString &packagePath, const QJsonObject &fingerprint)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end())
        return;
    const QString old = it->originalPath;
    it->originalPath = packagePath;
    it->originalFingerprint = fingerprint;
    it->reported = false;
    // An extracted PDF comes back from the package that holds it now.
    if (it->copy == CopyState::NotNeeded)
        it->packagePath = packagePath;
    bool stillWatched = false;
    for (const Doc &doc : std::as_const(m_docs))
        stillWatched = stillWatched || doc.originalPath == old;
    if (!stillWatched)
        m_watcher->removePath(old);
    watch(packagePath);
}

void SourceGuard::watch(const QString &path)
{
    if (!path.isEmpty() && QFileInfo::exists(path) && !m_watcher->files().contains(path))
        m_watcher->addPath(path);
}

void SourceGuard::noteInk(PdfCanvas *canvas)
{
    auto it = m_docs.find(canvas);
    if (it != m_docs.end() && it->copy == CopyState::None)
        startCopy(canvas, *it);
}

void SourceGuard::startCopy(PdfCanvas *canvas, Doc &doc)
{
    if (!doc.held || doc.copyPath.isEmpty()) {
        doc.copy = CopyState::Failed;
        logInfo(logCache(), QStringLiteral("无法为 %1 做私有副本：打开时没能留住文件").arg(doc.pdfPath));
        return;
    }
    doc.copy = CopyState::Pending;
    auto outcome = std::make_shared<CopyOutcome>();
    doc.outcome = outcome;
    const std::shared_ptr<QFile> held = doc.held;
    const QJsonObject fingerprint = doc.pdfFingerprint;
    const QString target = doc.copyPath;
    const quint64 serial = doc.serial;
    QPointer<SourceGuard> self(this);
    runOnWorker(
        [self, canvas, serial, held, fingerprint, target, outcome] {
            outcome->ok = writePrivateCopy(held.get(), fingerprint, target, &outcome->error);
            if (!self)
                return;
            QMetaObject::invokeMethod(
                self.data(),
                [self, canvas, serial] {
                    if (self)
                        self->finishCopy(canvas, serial);
                },
                Qt::QueuedConnection);
        },
        false);
}

void SourceGuard::finishCopy(PdfCanvas *canvas, quint64 serial)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end() || it->serial != serial || it->copy != CopyState::Pending)
        return;
    const std::shared_ptr<CopyOutcome> outcome = std::move(it->outcome);
    if (!outcome || !outcome->ok) {
        it->copy = CopyState::Failed;
        logInfo(logCache(), QStringLiteral("无法为 %1 做私有副本：%2").arg(it->pdfPath, outcome ? outcome->error : QString()));
        return;
    }
    it->copy = CopyState::Ready;
    logInfo(logCache(), QStringLiteral("已为 %1 做好私有副本 %2").arg(it->pdfPath, it->copyPath));
    emit copyReady(canvas, it->copyPath);
}

QString SourceGuard::ownPdf(const Doc &doc, QString *error) const
{
    if (QFileInfo::exists(doc.pdfPath))
        return doc.pdfPath;
    // Only the very package the document came from (or was saved to) may
    // bring the PDF back: a replaced one holds other pages.
    QString detail = QStringLiteral("PDF 已不在：%1").arg(doc.pdfPath);
    if (!doc.packagePath.isEmpty() && doc.packagePath == doc.originalPath
        && sameSource(sourceFingerprint(doc.packagePath), doc.originalFingerprint)
        && restoreExtractedPdf(doc.pdfPath, doc.packagePath, &detail))
        return doc.pdfPath;
    if (error)
        *error = detail;
    return QString();
}

QString SourceGuard::inkPdf(PdfCanvas *canvas, QString *error)
{
    auto it = m_docs.find(canvas);
    if (it == m_docs.end()) {
        if (error)
            *error = QStringLiteral("文档未打开");
        return QString();
    }
    if (it->copy == CopyState::NotNeeded)
        return ownPdf(*it, error);
    if (it->copy == CopyState::Pending) {
        waitIdle();
        finishCopy(canvas, it->serial);
        it = m_docs.find(canvas);
    }
    if (it->copy == CopyState::Ready) {
        if (QFileInfo::exists(it->copyPath))
            return it->copyPath;
        it->copy = CopyState::None; // removed behind our back: made again below
    }
    // No copy yet (no ink so far): the original serves while it is still
    // what the document loaded.
    if (sameSource(sourceFingerprint(it->pdfPath), it->pdfFingerprint))
        return it->pdfPath;
    checkOriginal(canvas);
    if (it->copy == CopyState::None) {
        startCopy(canvas, *it);
        waitIdle();
        finishCopy(canvas, it->serial);
        it = m_docs.find(canvas);
        if (it->copy == CopyState::Ready)
            return it->copyPath;
    }
    if (error)
        *error = QStringLiteral("PDF 已改动或不在，且没有留下打开时的副本：%1").arg(it->pdfPath);
    return QString();
}

QString SourceGuard::readyInkPdf(PdfCanvas *canvas) const
{
    const auto it = m_docs.constFind(canvas);
    if (it == m_docs.constEnd())
        return QString();
    if (it->copy == CopyState::NotNeeded)
        return it->pdfPath;
    return it->copy == CopyState::Ready ? it->copyPath : QString();
}

QStringList SourceGuard::privateCopies() const
{
    QStringList copies;
    for (const Doc &doc : m_docs) {
        if (doc.copy == CopyState::Ready)
            copies.append(doc.copyPath);
    }
    return copies;
}

void SourceGuard::onFileChanged(const QString &path)
{
    for (auto it = m_docs.begin(); it != m_docs.end(); ++it) {
        if (it->originalPath == path)
            checkOriginal(it.key());
    }
}

void SourceGuard::checkOriginal(PdfCanvas *canvas)
{
    const auto it = m_docs.constFind(canvas);
    if (it == m_docs.constEnd() || it->reported)
        return;
    const QString path = it->originalPath;
    const quint64 serial = it->serial;
    QPointer<SourceGuard> self(this);
    // A pulled USB stick or a stalled network share must not stall the window.
    runOnWorker(
        [self, canvas, serial, path] {
            const QJsonObject now = sourceFingerprint(path);
            const bool exists = QFileInfo::exists(path);
            if (!self)
                return;
            QMetaObject::invokeMethod(
                self.data(),
                [self, canvas, serial, path, now, exists] {
                    if (self)
                        self->onOriginalChecked(canvas, serial, path, now, exists);
                },
                Qt::QueuedConnection);
        },
        false);
}

void SourceGuard::onOriginalChecked(PdfCanvas *canvas, quint64 serial, const QString &path,
                                    const QJsonObject &now, bool exists)
{
    // A file replaced by renaming drops out of the watch: watch it again.
    if (exists)
        watch(path);
    auto it = m_docs.find(canvas);
    if (it == m_docs.end() || it->serial != serial || it->originalPath != path || it->reported)
        return;
    if (sameSource(now, it->originalFingerprint))
        return;
    it->reported = true;
    // Whatever happens next, the pages the ink is on are kept.
    if (it->copy == CopyState::None)
        startCopy(canvas, *it);
    logInfo(QStringLiteral("open"), exists ? QStringLiteral("打开后原文件已被改动：%1").arg(path)
                                           : QStringLiteral("打开后原文件已不在：%1").arg(path));
    emit originalChanged(canvas, !exists);
}
