#include "pages/homepage_probe.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThreadPool>

namespace {

// Each hung check holds a thread; live files must not queue behind them.
constexpr int kMaxCheckThreads = 16;

} // namespace

FileExistenceProbe *FileExistenceProbe::instance()
{
    static FileExistenceProbe *probe = new FileExistenceProbe;
    return probe;
}

FileExistenceProbe::FileExistenceProbe()
    : m_pool(new QThreadPool)
{
    m_pool->setMaxThreadCount(kMaxCheckThreads);
}

void FileExistenceProbe::setCheck(Check check)
{
    QMutexLocker lock(&m_mutex);
    m_check = std::move(check);
    m_answers.clear();
}

void FileExistenceProbe::request(const QString &path)
{
    Check check;
    {
        QMutexLocker lock(&m_mutex);
        if (m_inFlight.contains(path))
            return;
        m_answers.remove(path);
        m_inFlight.insert(path);
        check = m_check;
    }
    m_pool->start([this, path, check] {
        const bool exists = check ? check(path) : QFileInfo::exists(path);
        {
            QMutexLocker lock(&m_mutex);
            m_inFlight.remove(path);
            m_answers.insert(path, exists);
        }
        m_answered.wakeAll();
        QMetaObject::invokeMethod(this, [this, path, exists] { deliver(path, exists); }, Qt::QueuedConnection);
    });
}

void FileExistenceProbe::waitFor(const QStringList &paths, int ms)
{
    QDeadlineTimer deadline(ms);
    QMutexLocker lock(&m_mutex);
    for (;;) {
        bool all = true;
        for (const QString &path : paths) {
            if (!m_answers.contains(path)) {
                all = false;
                break;
            }
        }
        if (all || !m_answered.wait(&m_mutex, deadline))
            return;
    }
}

bool FileExistenceProbe::answer(const QString &path, bool *exists) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_answers.constFind(path);
    if (it == m_answers.constEnd())
        return false;
    *exists = it.value();
    return true;
}

void FileExistenceProbe::deliver(const QString &path, bool exists)
{
    emit checked(path, exists);
}
