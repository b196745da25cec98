#pragma once

#include "files/wordconvertjob.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

class QProgressBar;
class QPushButton;
class QStatusBar;
class QWidget;

// How one conversion ended, for the open flow.
struct WordConversionResult
{
    QString source;
    bool ok = false;
    bool cancelled = false;
    QString pdfPath;
    QString error;
    QElapsedTimer clock; // the open's clock, started before the conversion
};

// The window's Word conversions. Each runs as its own asynchronous job, at
// most one per document (a second open of a document being converted waits
// for that one), while the status bar shows "正在转换 Word 文档…" with an
// indeterminate progress bar and a cancel button.
class WordConversions : public QObject
{
    Q_OBJECT
public:
    enum class Start { Done, Running, AlreadyRunning };

    WordConversions(QStatusBar *bar, QWidget *indicatorParent);
    ~WordConversions() override;

    // Done: the conversion ended at once (cache hit or early failure) and
    // done holds the outcome; no signal follows. Running: finished() follows.
    // AlreadyRunning: this document is being converted; nothing new starts.
    Start start(const QString &source, const QElapsedTimer &clock, WordConversionResult *done);
    bool isConverting(const QString &source) const;
    int runningCount() const { return int(m_jobs.size()); }
    // Kills every running conversion and removes what it left behind.
    void cancelAll();
    void setLimits(const WordConvertLimits &limits) { m_limits = limits; }

    QWidget *indicator() const { return m_indicator; }
    QPushButton *cancelButton() const { return m_cancel; }
    // The running job for source (tests look at its process and files).
    WordConvertJob *job(const QString &source) const;

signals:
    void finished(const WordConversionResult &result);

private:
    struct Running
    {
        WordConvertJob *job = nullptr;
        QElapsedTimer clock;
    };
    static QString keyOf(const QString &source);
    void onJobFinished(const QString &key);
    void refreshIndicator();

    QStatusBar *m_bar = nullptr;
    QWidget *m_indicator = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancel = nullptr;
    QHash<QString, Running> m_jobs;
    WordConvertLimits m_limits;
};
