#include "platform/wordengine.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// The process group of pid and whether pid is still running (a zombie
// counts as gone); false when pid cannot be read.
bool readProcessState(qint64 pid, qint64 *group, bool *running)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    // The command name may hold anything, even ")": fields follow the last one.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    constexpr int kStateField = 0;
    constexpr int kGroupField = 2;
    if (fields.size() <= kGroupField)
        return false;
    *running = fields.at(kStateField) != "Z" && fields.at(kStateField) != "X";
    *group = fields.at(kGroupField).toLongLong();
    return true;
}

bool hasArgumentStartingWith(qint64 pid, const QByteArray &prefix)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 kCommandLineLimit = 256 * 1024;
    const QList<QByteArray> arguments = file.read(kCommandLineLimit).split('\0');
    for (const QByteArray &argument : arguments) {
        if (argument.startsWith(prefix))
            return true;
    }
    return false;
}

} // namespace

bool hasWordOrWps()
{
    return false; // no Word or WPS automation outside Windows
}

QString runWordAutomation(const QString &, const QString &)
{
    return QStringLiteral("无法启动 Word/WPS 自动化");
}

QString bundledSofficeRelativePath()
{
    return QStringLiteral("libreoffice/program/soffice");
}

QStringList sofficeExecutableNames()
{
    return {QStringLiteral("soffice"), QStringLiteral("libreoffice")};
}

QStringList installedSofficeCandidates()
{
    return {}; // Linux installs put soffice on PATH
}

QString defaultDocxHandler()
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"),
                 QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document")});
    // Only asked after a failed conversion; a hung helper must not hold the window.
    constexpr int kQueryMs = 2000;
    if (!query.waitForFinished(kQueryMs)) {
        query.kill();
        query.waitForFinished(kQueryMs);
        return QString();
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
}

void runInOwnProcessGroup(QProcess &process)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The program may have died before the line above took effect.
        if (::getppid() != parent)
            ::_exit(127);
    });
}

int endOrphanedProcessGroups(const QByteArray &argumentPrefix)
{
    if (argumentPrefix.isEmpty())
        return 0;
    const qint64 self = ::getpid();
    QSet<qint64> ended;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self || !hasArgumentStartingWith(pid, argumentPrefix))
            continue;
        qint64 group = 0;
        bool running = false;
        if (!readProcessState(pid, &group, &running) || !running || group <= 1 || ended.contains(group))
            continue;
        qint64 leaderGroup = 0;
        bool leaderRunning = false;
        // A live leader is a conversion some program still waits for.
        if (readProcessState(group, &leaderGroup, &leaderRunning) && leaderRunning)
            continue;
        if (::kill(-pid_t(group), SIGKILL) == 0)
            ended.insert(group);
    }
    return int(ended.size());
}

void killProcessGroup(qint64 groupLeader)
{
    if (groupLeader > 0)
        ::kill(-pid_t(groupLeader), SIGKILL);
}
