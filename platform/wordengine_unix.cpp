#include "platform/wordengine.h"

#include <QProcess>

#include <signal.h>
#include <unistd.h>

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
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
}

void killProcessGroup(qint64 groupLeader)
{
    if (groupLeader > 0)
        ::kill(-pid_t(groupLeader), SIGKILL);
}
