#pragma once

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class PdfCanvas;
class QFile;
class QFileSystemWatcher;
class QThread;

// Keeps, for each open document, the PDF its ink is drawn on. A PDF the
// teacher opened from her own folders is held open from the load on and,
// once the document has ink, copied into a private file on a worker thread
// (the pen never waits for it); saves and exports then use that copy, so a
// moved, deleted or replaced original changes nothing. The program's own
// PDFs (an extracted package PDF, a conversion, a picture wrapper) already
// are private. The file the teacher opened is watched, and a change or
// disappearance is reported once.
class SourceGuard : public QObject
{
    Q_OBJECT
public:
    explicit SourceGuard(QObject *parent = nullptr);
    ~SourceGuard() override;

    // originalPath: the file the teacher opened, with its fingerprint taken
    // when the document loaded; pdfPath: the PDF the canvas shows (held
    // open from now on when it is not the program's own); packagePath: the
    // package that brings an extracted PDF back, if any. Call before the
    // canvas opens the PDF.
    void track(PdfCanvas *canvas, const QString &originalPath, const QJsonObject &originalFingerprint,
               const QString &pdfPath, const QString &packagePath);
    void untrack(PdfCanvas *canvas);
    // The ink now lives in packagePath (saved there): that is the file to
    // watch, and a change of it is news again.
    void retarget(PdfCanvas *canvas, const QString &packagePath, const QJsonObject &fingerprint);
    // The document has ink: starts its private copy when it needs one.
    // Returns at once.
    void noteInk(PdfCanvas *canvas);
    // The PDF the ink belongs to, for a save or an export. Waits for a copy
    // under way, and makes one now when the original has changed since.
    // Empty, with the detail in error, when there is none.
    QString inkPdf(PdfCanvas *canvas, QString *error = nullptr);
    // The PDF a working copy may carry, without waiting; empty while a
    // private copy is still being made.
    QString readyInkPdf(PdfCanvas *canvas) const;
    // The private copies in use, to keep dated against the sweep.
    QStringList privateCopies() const;
    // Looks at the original again (off this thread) and reports a change.
    void checkOriginal(PdfCanvas *canvas);
    // Waits for every job queued so far.
    void waitIdle();

signals:
    void copyReady(PdfCanvas *canvas, const QString &path);
    // The file the teacher opened is no longer what the document loaded;
    // vanished when it is gone. Once per document and file.
    void originalChanged(PdfCanvas *canvas, bool vanished);

private:
    enum class CopyState { NotNeeded, None, Pending, Ready, Failed };
    struct CopyOutcome
    {
        bool ok = false;
        QString error;
    };
    struct Doc
    {
        quint64 serial = 0;
        QString originalPath;
        QJsonObject originalFingerprint;
        QString packagePath;
        QString pdfPath;
        QJsonObject pdfFingerprint;
        std::shared_ptr<QFile> held;
        QString copyPath;
        CopyState copy = CopyState::NotNeeded;
        std::shared_ptr<CopyOutcome> outcome;
        bool reported = false;
    };
    void runOnWorker(const std::function<void()> &job, bool wait);
    void startCopy(PdfCanvas *canvas, Doc &doc);
    void finishCopy(PdfCanvas *canvas, quint64 serial);
    void watch(const QString &path);
    void onFileChanged(const QString &path);
    void onOriginalChecked(PdfCanvas *canvas, quint64 serial, const QString &path, const QJsonObject &now,
                           bool exists);
    QString ownPdf(const Doc &doc, QString *error) const;

    QThread *m_thread = nullptr;
    QObject *m_worker = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
    QHash<PdfCanvas *, Doc> m_docs;
    quint64 m_nextSerial = 1;
};
