#include "files/wordconvertjob.h"

#include "files/workingcopy.h"
#include "platform/wordengine.h"
#include "system/diaglog.h"
#include "system/settings.h"
#include "system/wordreminder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

constexpr int kStderrKeep = 64 * 1024;
constexpr int kStderrShown = 200;

QString logOpen()
{
    return QStringLiteral("open");
}

QString engineMissingText()
{
    switch (wordConvertEngine()) {
    case 1:
        return QStringLiteral("未检测到 Word/WPS");
    case 2:
        return QStringLiteral("未检测到 LibreOffice");
    default:
        return QStringLiteral("未检测到 Word/WPS 或 LibreOffice");
    }
}

// A fresh folder in parent named base, or base-2, base-3… when two
// conversions start in the same millisecond. Empty on failure.
QString makeFreshFolder(const QString &parent, const QString &base)
{
    QDir dir(parent);
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString name = attempt == 1 ? base : base + QStringLiteral("-%1").arg(attempt);
        if (dir.exists(name))
            continue;
        if (dir.mkdir(name))
            return dir.filePath(name);
    }
    return QString();
}

} // namespace

WordConvertJob::WordConvertJob(const QString &source, const WordConvertLimits &limits, QObject *parent)
    : QObject(parent)
    , m_source(source)
    , m_limits(limits)
{
    for (QTimer *timer : {&m_startTimer, &m_finishTimer, &m_killTimer})
        timer->setSingleShot(true);
    connect(&m_startTimer, &QTimer::timeout, this, &WordConvertJob::onStartTimeout);
    connect(&m_finishTimer, &QTimer::timeout, this, &WordConvertJob::onFinishTimeout);
    // A killed LibreOffice that will not even die still ends the job.
    connect(&m_killTimer, &QTimer::timeout, this,
            [this] { endLibreOffice(QStringLiteral("LibreOffice 转换超时")); });
}

WordConvertJob::~WordConvertJob()
{
    if (isRunning()) {
        const QSignalBlocker quiet(this);
        cancel();
    }
}

bool WordConvertJob::start()
{
    if (m_state != State::Idle)
        return isRunning();
    m_state = State::Running;
    const QString early = prepare();
    if (!m_pdfPath.isEmpty() || !early.isEmpty()) {
        // Served from the cache, or refused before anything ran.
        if (m_pdfPath.isEmpty())
            complete(early);
        else
            m_state = State::Succeeded;
        return false;
    }
    if (m_engine == WordEngine::Word) {
        complete(runWord());
        return false;
    }
    const QString startError = startLibreOffice();
    if (!startError.isEmpty()) {
        endLibreOffice(startError);
        return false;
    }
    m_signalEnd = true;
    return isRunning();
}

// Steps before any engine runs. Empty with m_pdfPath set: cache hit; empty
// without: go on; otherwise the failure.
QString WordConvertJob::prepare()
{
    if (!isWordDocument(m_source))
        return QStringLiteral("不是 Word 文档：%1").arg(m_source);
    m_engine = chooseEngine();
    if (m_engine == WordEngine::None)
        return engineMissingText();
    m_cachePath = wordCachePath(m_source, m_engine);
    if (!m_cachePath.isEmpty() && QFileInfo(m_cachePath).isFile()) {
        if (convertedPdfOpens(m_cachePath)) {
            logInfo(logOpen(), QStringLiteral("Word 转换使用缓存：%1").arg(QFileInfo(m_cachePath).fileName()));
            m_pdfPath = m_cachePath;
            return QString();
        }
        // Damaged since (a cut-off copy, a full disk): convert afresh.
        logInfo(logOpen(), QStringLiteral("Word 转换缓存无法打开，重新转换：%1").arg(QFileInfo(m_cachePath).fileName()));
        QFile::remove(m_cachePath);
    }
    if (!QFileInfo(m_source).isFile())
        return QStringLiteral("源文件不存在：%1").arg(m_source);
    const QString content = wordContentProblem(m_source);
    if (!content.isEmpty())
        return content;
    if (tempFolder().isEmpty() || !ensureTempFolder())
        return QStringLiteral("无法创建临时目录：%1").arg(tempFolder());
    m_partialPath = m_cachePath + QStringLiteral(".part");
    QFile::remove(m_partialPath);
    m_clock.start();
    return QString();
}

QString WordConvertJob::runWord()
{
    if (wordNagFix()) {
        QString nagError;
        if (!silenceWordReminder(&nagError))
            logInfo(logOpen(), QStringLiteral("Word 提醒开关未写入：%1").arg(nagError));
    }
    const QString native = QDir::toNativeSeparators(m_source);
    const QString first = runWordAutomation(native, QDir::toNativeSeparators(m_partialPath));
    if (first.isEmpty())
        return first;
    logInfo(logOpen(), QStringLiteral("Word 转换首次失败，重试一次：%1").arg(first));
    return runWordAutomation(native, QDir::toNativeSeparators(m_partialPath));
}

QString WordConvertJob::startLibreOffice()
{
    m_soffice = findSoffice();
    const QString unique = QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid())
                               .arg(QDateTime::currentMSecsSinceEpoch());
    m_profileFolder = makeFreshFolder(tempFolder(), QStringLiteral("lo-profile-") + unique);
    m_outputFolder = makeFreshFolder(tempFolder(), QStringLiteral("lo-out-") + unique);
    if (m_soffice.isEmpty() || m_profileFolder.isEmpty() || m_outputFolder.isEmpty())
        return QStringLiteral("无法创建 LibreOffice 临时目录");

    // An absolute source path: a relative name starting with "-" would be
    // read as an option.
    const QStringList arguments{
        libreOfficeProfileArgument(m_profileFolder),
        QStringLiteral("--headless"),
        QStringLiteral("--norestore"),
        QStringLiteral("--nolockcheck"),
        QStringLiteral("--nodefault"),
        QStringLiteral("--nofirststartwizard"),
        QStringLiteral("--convert-to"),
        QStringLiteral("pdf"),
        QStringLiteral("--outdir"),
        QDir::toNativeSeparators(m_outputFolder),
        QDir::toNativeSeparators(QFileInfo(m_source).absoluteFilePath()),
    };
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    runInOwnProcessGroup(*m_process);
    connect(m_process, &QProcess::started, this, &WordConvertJob::onStarted);
    connect(m_process, &QProcess::finished, this, &WordConvertJob::onProcessFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            endLibreOffice(QStringLiteral("无法启动 LibreOffice（%1）").arg(m_soffice));
    });
    // Standard output is not needed; standard error is kept for the message
    // but bounded, whatever a broken soffice prints.
    connect(m_process, &QProcess::readyReadStandardOutput, this, [this] { m_process->readAllStandardOutput(); });
    connect(m_process, &QProcess::readyReadStandardError, this, [this] {
        const QByteArray chunk = m_process->readAllStandardError();
        m_stderr += chunk.left(qMax(0, kStderrKeep - int(m_stderr.size())));
    });
    m_startTimer.start(m_limits.startMs);
    m_finishTimer.start(m_limits.finishMs);
    m_process->start(m_soffice, arguments);
    // Known once forked, before started() arrives: a cancel in between must
    // still reach the whole group.
    if (m_process)
        m_groupLeader = m_process->processId();
    return QString();
}

void WordConvertJob::onStarted()
{
    m_startTimer.stop();
    if (m_process->processId() > 0)
        m_groupLeader = m_process->processId();
}

void WordConvertJob::onStartTimeout()
{
    if (m_process && m_process->state() != QProcess::Running)
        endLibreOffice(QStringLiteral("无法启动 LibreOffice（%1）").arg(m_soffice));
}

void WordConvertJob::onFinishTimeout()
{
    if (!m_process)
        return;
    m_timedOut = true;
    killProcessGroup(m_groupLeader);
    m_process->kill();
    m_killTimer.start(m_limits.killWaitMs);
}

void WordConvertJob::onProcessFinished()
{
    if (!m_process)
        return;
    m_stderr += m_process->readAllStandardError().left(qMax(0, kStderrKeep - int(m_stderr.size())));
    // A helper it forked may outlive the launcher.
    killProcessGroup(m_groupLeader);
    endLibreOffice(m_timedOut ? QStringLiteral("LibreOffice 转换超时") : libreOfficeResult());
}

QString WordConvertJob::libreOfficeResult()
{
    const QString produced = m_outputFolder + QLatin1Char('/') + QFileInfo(m_source).completeBaseName()
        + QStringLiteral(".pdf");
    if (!QFileInfo(produced).isFile()) {
        const QString text = QString::fromLocal8Bit(m_stderr).trimmed();
        const QString detail = text.isEmpty() ? QString() : QStringLiteral("：") + text.left(kStderrShown);
        return QStringLiteral("LibreOffice 未生成 PDF（退出码 %1%2）").arg(m_process->exitCode()).arg(detail);
    }
    // A crash may leave half a PDF behind; only a clean end counts.
    if (m_process->exitStatus() == QProcess::CrashExit)
        return QStringLiteral("LibreOffice 异常退出（信号 %1），生成的 PDF 可能不完整").arg(m_process->exitCode());
    if (m_process->exitCode() != 0)
        return QStringLiteral("LibreOffice 转换出错（退出码 %1）").arg(m_process->exitCode());
    if (!QFile::rename(produced, m_partialPath))
        return QStringLiteral("无法写入缓存文件：%1").arg(m_cachePath);
    return QString();
}

void WordConvertJob::endLibreOffice(const QString &error)
{
    if (!isRunning())
        return;
    releaseProcess();
    removeFolders();
    complete(error);
}

void WordConvertJob::releaseProcess()
{
    for (QTimer *timer : {&m_startTimer, &m_finishTimer, &m_killTimer})
        timer->stop();
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        killProcessGroup(m_groupLeader);
        process->kill();
        process->waitForFinished(m_limits.killWaitMs);
    }
    process->deleteLater();
}

void WordConvertJob::removeFolders()
{
    for (const QString &folder : {m_profileFolder, m_outputFolder}) {
        if (!folder.isEmpty())
            QDir(folder).removeRecursively();
    }
}

void WordConvertJob::cancel()
{
    if (!isRunning())
        return;
    releaseProcess();
    removeFolders();
    if (!m_partialPath.isEmpty())
        QFile::remove(m_partialPath);
    m_state = State::Cancelled;
    m_error = QStringLiteral("已取消");
    logInfo(logOpen(), QStringLiteral("Word 转换已取消：%1").arg(m_source));
    emit finished();
}

void WordConvertJob::complete(QString error)
{
    if (error.isEmpty() && !QFileInfo(m_partialPath).isFile())
        error = QStringLiteral("导出未生成文件");
    if (error.isEmpty() && !convertedPdfOpens(m_partialPath))
        error = QStringLiteral("转换结果不是可以打开的 PDF（可能不完整）");
    if (error.isEmpty() && !QFile::rename(m_partialPath, m_cachePath))
        error = QStringLiteral("无法写入缓存文件：%1").arg(m_cachePath);
    if (error.isEmpty()) {
        logInfo(logOpen(), QStringLiteral("%1 转换完成：%2 → %3（%4 ms）")
                              .arg(engineName(m_engine), QFileInfo(m_source).fileName(),
                                   QFileInfo(m_cachePath).fileName())
                              .arg(m_clock.isValid() ? m_clock.elapsed() : 0));
        m_pdfPath = m_cachePath;
        m_state = State::Succeeded;
    } else {
        if (!m_partialPath.isEmpty())
            QFile::remove(m_partialPath);
        logInfo(logOpen(), QStringLiteral("Word 转换失败：%1（%2）").arg(m_source, error));
        m_error = error;
        m_state = State::Failed;
    }
    if (m_signalEnd)
        emit finished();
}

bool WordConvertJob::waitForFinished()
{
    if (isRunning()) {
        QEventLoop loop;
        connect(this, &WordConvertJob::finished, &loop, &QEventLoop::quit);
        if (isRunning())
            loop.exec();
    }
    return m_state == State::Succeeded;
}
