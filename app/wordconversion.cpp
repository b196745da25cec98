#include "app/wordconversion.h"

#include "ui/uimetrics.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>

namespace {

QString convertingText()
{
    return QStringLiteral("正在转换 Word 文档…");
}

} // namespace

WordConversions::WordConversions(QStatusBar *bar, QWidget *indicatorParent)
    : QObject(indicatorParent)
    , m_bar(bar)
{
    m_indicator = new QWidget(indicatorParent);
    m_indicator->setObjectName(QStringLiteral("wordConversionIndicator"));
    auto *row = new QHBoxLayout(m_indicator);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_progress = new QProgressBar(m_indicator);
    m_progress->setObjectName(QStringLiteral("wordProgress"));
    m_progress->setRange(0, 0); // LibreOffice reports no progress
    m_progress->setTextVisible(false);
    m_progress->setFixedWidth(m_progress->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 10);
    m_cancel = new QPushButton(QStringLiteral("取消"), m_indicator);
    m_cancel->setObjectName(QStringLiteral("wordCancel"));
    m_cancel->setToolTip(QStringLiteral("取消 Word 文档转换"));
    m_cancel->setCursor(Qt::PointingHandCursor);
    // A finger must be able to hit it on a classroom board.
    const int target = uiMetrics(m_cancel->font()).touchTarget;
    m_cancel->setMinimumSize(std::max(target, m_cancel->sizeHint().width()), target);
    row->addWidget(m_progress);
    row->addWidget(m_cancel);
    m_indicator->hide();
    connect(m_cancel, &QPushButton::clicked, this, &WordConversions::cancelAll);
}

WordConversions::~WordConversions()
{
    // The window is going: nothing may reach it (its status bar may be gone
    // already), and no LibreOffice may outlive it.
    for (const Running &running : std::as_const(m_jobs)) {
        running.job->disconnect(this);
        running.job->cancel();
    }
}

QString WordConversions::keyOf(const QString &source)
{
    const QFileInfo info(source);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

WordConversions::Start WordConversions::start(const QString &source, const QElapsedTimer &clock,
                                              WordConversionResult *done)
{
    const QString key = keyOf(source);
    if (m_jobs.contains(key))
        return Start::AlreadyRunning;
    auto *job = new WordConvertJob(source, m_limits, this);
    if (!job->start()) {
        done->source = source;
        done->ok = job->state() == WordConvertJob::State::Succeeded;
        done->pdfPath = job->pdfPath();
        done->error = job->error();
        done->clock = clock;
        delete job;
        return Start::Done;
    }
    m_jobs.insert(key, {job, clock});
    connect(job, &WordConvertJob::finished, this, [this, key] { onJobFinished(key); });
    m_bar->showMessage(convertingText());
    refreshIndicator();
    return Start::Running;
}

bool WordConversions::isConverting(const QString &source) const
{
    return m_jobs.contains(keyOf(source));
}

WordConvertJob *WordConversions::job(const QString &source) const
{
    return m_jobs.value(keyOf(source)).job;
}

void WordConversions::cancelAll()
{
    const QList<QString> keys = m_jobs.keys();
    for (const QString &key : keys) {
        if (m_jobs.contains(key))
            m_jobs.value(key).job->cancel();
    }
}

void WordConversions::onJobFinished(const QString &key)
{
    const Running running = m_jobs.take(key);
    WordConvertJob *job = running.job;
    WordConversionResult result;
    result.source = job->source();
    result.ok = job->state() == WordConvertJob::State::Succeeded;
    result.cancelled = job->state() == WordConvertJob::State::Cancelled;
    result.pdfPath = job->pdfPath();
    result.error = job->error();
    result.clock = running.clock;
    job->deleteLater();
    if (m_jobs.isEmpty() && m_bar->currentMessage() == convertingText())
        m_bar->clearMessage();
    refreshIndicator();
    emit finished(result);
}

void WordConversions::refreshIndicator()
{
    m_indicator->setVisible(!m_jobs.isEmpty());
}
