#include "platform/userfolders.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The XDG rule: an unset or relative variable means the default below home.
QString xdgBase(const char *variable, const QString &defaultBelowHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + defaultBelowHome;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

QString userStateFolder()
{
    return xdgBase("XDG_STATE_HOME", QStringLiteral("/.local/state")) + QStringLiteral("/lectern");
}

QString userCacheFolder()
{
    return xdgBase("XDG_CACHE_HOME", QStringLiteral("/.cache")) + QStringLiteral("/lectern");
}

QString userRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
        return QDir::cleanPath(runtime) + QStringLiteral("/lectern");
    // Without a session's runtime folder: one of our own beside the system
    // temporary files, checked for ownership like any other.
    return QDir::tempPath() + QStringLiteral("/lectern-runtime-") + QString::number(::getuid());
}

QString legacyTempFolder()
{
    const QString system = QDir::tempPath();
    return system.isEmpty() ? QString() : system + QStringLiteral("/lectern");
}

bool makePrivateFolder(const QString &folder, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("无法创建私有文件夹 %1：%2").arg(folder, why);
        return false;
    };
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return fail(QStringLiteral("路径无效"));
    const QString clean = QDir::cleanPath(folder);
    // Missing parents are made private too, as the XDG rules ask.
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path;
    for (const QString &part : parts) {
        path += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(path);
        if (::mkdir(native.constData(), 0700) == 0 || errno == EEXIST)
            continue;
        // Some file systems refuse mkdir on a folder that is there already.
        const int code = errno;
        struct stat existing {};
        if (::stat(native.constData(), &existing) != 0 || !S_ISDIR(existing.st_mode))
            return fail(systemError(code));
    }
    const QByteArray native = QFile::encodeName(clean);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return fail(systemError(errno));
    if (!S_ISDIR(info.st_mode))
        return fail(QStringLiteral("不是文件夹"));
    if (info.st_uid != ::geteuid())
        return fail(QStringLiteral("属于其他用户"));
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return fail(systemError(errno));
    return true;
}

bool isOwnRegularFile(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode)
        && info.st_uid == ::geteuid();
}
