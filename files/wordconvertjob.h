#pragma once

#include "files/wordconvert.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QProcess;

// How long LibreOffice may take to start and to finish, and how long a
// killed one is waited for. Tests shorten them; the program uses these.
struct WordConvertLimits
{
    int startMs = 15000;
    int finishMs = 180000;
    int killWaitMs = 5000;
};

// One conversion of a Word document to its cached PDF. The quick steps
// (engine, cache, checks) run inside start(); LibreOffice then runs as an
// asynchronous child process, so the caller's event loop keeps going, and
// finished() follows. The temporary profile and output folders are removed
// and no child is left running whatever the outcome.
class WordConvertJob : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Running, Succeeded, Failed, Cancelled };

    explicit WordConvertJob(const QString &source, const WordConvertLimits &limits = WordConvertLimits(),
                            QObject *parent = nullptr);
    ~WordConvertJob() override;

    // True while the conversion goes on (finished() will follow); false when
    // it already ended here (a cache hit or an early failure, no signal).
    bool start();
    // Kills LibreOffice and everything it started, removes its folders and
    // the partial file; the job ends Cancelled and finished() is emitted.
    void cancel();
    // Runs a local event loop until the job ends; true on success.
    bool waitForFinished();

    State state() const { return m_state; }
    bool isRunning() const { return m_state == State::Running; }
    QString source() const { return m_source; }
    QString pdfPath() const { return m_pdfPath; }
    QString error() const { return m_error; }
    // The LibreOffice child's process id (its process group), 0 before start.
    qint64 processId() const { return m_groupLeader; }
    QString partialPath() const { return m_partialPath; }
    QString profileFolder() const { return m_profileFolder; }
    QString outputFolder() const { return m_outputFolder; }

signals:
    void finished();

private:
    QString prepare();
    QString runWord();
    QString startLibreOffice();
    void onStarted();
    void onProcessFinished();
    void onStartTimeout();
    void onFinishTimeout();
    QString libreOfficeResult();
    void endLibreOffice(const QString &error);
    void releaseProcess();
    void removeFolders();
    void complete(QString error);

    const QString m_source;
    const WordConvertLimits m_limits;
    WordEngine m_engine = WordEngine::None;
    QString m_cachePath;
    QString m_partialPath;
    QString m_profileFolder;
    QString m_outputFolder;
    QString m_soffice;
    QString m_pdfPath;
    QString m_error;
    QProcess *m_process = nullptr;
    QTimer m_startTimer;
    QTimer m_finishTimer;
    QTimer m_killTimer;
    QElapsedTimer m_clock;
    QByteArray m_stderr;
    qint64 m_groupLeader = 0;
    State m_state = State::Idle;
    bool m_timedOut = false;
    bool m_signalEnd = false;
};
