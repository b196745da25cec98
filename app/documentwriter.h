#pragma once

#include "ink/stroke.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

class PdfCanvas;
class QThread;
class QTimer;

// Keeps each open document's working copy in step with its ink, so a crash
// or power cut costs at most the last second of writing. The byte work
// (encoding the ink and writing the package, whose PDF is kept by
// reference) runs on one worker thread in request order; the pen never
// waits for it.
class WorkingCopyWriter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kWriteDelayMs = 1000;

    explicit WorkingCopyWriter(QObject *parent = nullptr);
    ~WorkingCopyWriter() override;

    // keyPath names the working copy (the user's PDF, or the package);
    // pdfPath is the PDF the canvas shows (an extracted package PDF is
    // brought back when it vanishes); fingerprint is keyPath's fingerprint
    // when the document was loaded.
    void track(PdfCanvas *canvas, const QString &keyPath, const QString &pdfPath,
               const QJsonObject &fingerprint);
    bool isTracked(PdfCanvas *canvas) const { return m_docs.contains(canvas); }
    QString keyPath(PdfCanvas *canvas) const { return m_docs.value(canvas).keyPath; }
    // The ink of canvas changed: write within kWriteDelayMs.
    void noteInkChanged(PdfCanvas *canvas);
    // Writes any ink not yet in the working copy now and waits for it.
    bool flush(PdfCanvas *canvas, QString *error = nullptr);
    // Waits for every queued write of every document.
    void waitIdle();
    // Drops pending writes and deletes the working copy (discarded ink must
    // not come back). Later ink is written again.
    void discard(PdfCanvas *canvas);
    void untrack(PdfCanvas *canvas);
    // Dates every tracked working copy now (behind queued writes), so the
    // sweep of another instance leaves it alone.
    void refreshWorkingCopies();
    // The ink was saved into packagePath: from now on the working copy is
    // the package's own, and the stale one from an earlier session goes.
    void savedToPackage(PdfCanvas *canvas, const QString &packagePath);

signals:
    void written(const QString &workingCopy, bool ok, const QString &error);

private:
    struct Doc
    {
        QString keyPath;
        QString pdfPath;
        QJsonObject fingerprint;
        QTimer *timer = nullptr;
        quint64 changeSerial = 0;
        quint64 queuedSerial = 0;
    };
    void queueWrite(PdfCanvas *canvas);
    void runOnWorker(const std::function<void()> &job, Qt::ConnectionType type);

    QThread *m_thread = nullptr;
    QObject *m_worker = nullptr;
    QHash<PdfCanvas *, Doc> m_docs;
};

// One write of a working copy, as the worker runs it. Refuses when keyPath
// no longer matches fingerprint, so ink never gets attached to a newer file.
// When keyPath is a package whose extracted pdfPath has vanished, the PDF is
// extracted again first.
bool writeWorkingCopySnapshot(const QString &keyPath, const QString &pdfPath, const InkPages &ink,
                              const QJsonObject &fingerprint, QString *error = nullptr);
