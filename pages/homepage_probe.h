#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QWaitCondition>

#include <functional>

class QThreadPool;

// Whether recent files exist, asked off the GUI thread: a file on a network
// share that has gone away can keep stat() waiting for many seconds, and the
// home page must paint at once all the same. One check per path is in flight
// at a time; its answer reaches every asker through checked().
class FileExistenceProbe : public QObject
{
    Q_OBJECT
public:
    using Check = std::function<bool(const QString &)>;

    // The process-wide probe (created on first use, on the GUI thread, and
    // never destroyed: a check may still hang when the program ends).
    static FileExistenceProbe *instance();

    // Forgets the last answer for path and asks again (unless a check of it
    // is still running).
    void request(const QString &path);
    // Waits at most ms for every path to have an answer.
    void waitFor(const QStringList &paths, int ms);
    // The answer for path, if one came since it was last requested.
    bool answer(const QString &path, bool *exists) const;

    // Replaces the existence test (benchmarks simulate a dead share); an
    // empty function restores QFileInfo::exists.
    void setCheck(Check check);

signals:
    void checked(const QString &path, bool exists);

private:
    FileExistenceProbe();
    void deliver(const QString &path, bool exists);

    QThreadPool *m_pool = nullptr;
    Check m_check;
    mutable QMutex m_mutex;
    QWaitCondition m_answered;
    QHash<QString, bool> m_answers;
    QSet<QString> m_inFlight;
};
