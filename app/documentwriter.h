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
// reference while the source is unchanged) runs on one worker thread in
// request order; the pen never waits for it.
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
    // The PDF the ink belongs to, carried by the working copy once keyPath
    // no longer matches its fingerprint (empty: none ready yet).
    void setInkPdf(PdfCanvas *canvas, const QString &inkPdf);
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
    // The ink was saved into packagePath: from now on the working copy is
    // the package's own. Its own earlier copy goes (that ink is saved); one
    // left from an earlier session over the file that was replaced is kept
    // aside.
    void savedToPackage(PdfCanvas *canvas, const QString &packagePath);

signals:
    // A background write of canvas's working copy ended; sourceMatched is
    // false once the file it keeps ink for is no longer what was loaded.
    void written(PdfCanvas *canvas, bool ok, const QString &error, bool sourceMatched);

private:
    struct Doc
    {
        quint64 id = 0;
        QString keyPath;
        QString pdfPath;
        QString inkPdf;
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
    quint64 m_nextId = 1;
};

// One write of a working copy, as the worker runs it. The copy always keeps
// the fingerprint taken at load, so its ink never gets attached to a newer
// file; once keyPath no longer matches it, the copy carries inkPdf (the
// pages the ink belongs to) instead of a reference. When keyPath is a
// package whose extracted pdfPath has vanished, the PDF is extracted again
// first. sourceMatched tells whether keyPath still matched.
bool writeWorkingCopySnapshot(const QString &keyPath, const QString &pdfPath, const InkPages &ink,
                              const QJsonObject &fingerprint, QString *error = nullptr,
                              const QString &inkPdf = QString(), bool *sourceMatched = nullptr);
