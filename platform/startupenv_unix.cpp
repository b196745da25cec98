#include "platform/startupenv.h"

#include "platform/elfprobe.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSysInfo>
#include <QVersionNumber>

#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

QString startupDataFolder()
{
    // The XDG rule: a relative XDG_DATA_HOME is invalid and ignored.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Lectern");
}

QString systemVersionText()
{
    const QVersionNumber kernel = QVersionNumber::fromString(QSysInfo::kernelVersion());
    return QStringLiteral("Linux %1.%2 build %3 (%4)")
        .arg(kernel.majorVersion())
        .arg(kernel.minorVersion())
        .arg(kernel.microVersion())
        .arg(QSysInfo::prettyProductName());
}

QString executableFolder()
{
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString target = exe.symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).absolutePath();
}

QString platformPluginPath()
{
    // A bundled plug-in beside the program wins over the system's.
    const QString pluginName = QStringLiteral("/platforms/libqxcb.so");
    const QString folder = executableFolder();
    if (!folder.isEmpty() && QFileInfo::exists(folder + pluginName))
        return folder + pluginName;
    const QString system = QLibraryInfo::path(QLibraryInfo::PluginsPath) + pluginName;
    return QFileInfo::exists(system) ? system : QString();
}

QString probePlatformPlugin(const QString &pluginPath)
{
    if (pluginPath.isEmpty())
        return QString();
    return probeElfNeeded(pluginPath, [](const QString &soname, QString *reason) {
        void *handle = dlopen(soname.toLocal8Bit().constData(), RTLD_LAZY | RTLD_LOCAL);
        if (!handle) {
            const char *error = dlerror();
            *reason = error ? QString::fromLocal8Bit(error) : QStringLiteral("?");
            return false;
        }
        // Kept loaded, as on Windows: when the xcb plug-in loads next it
        // finds its libraries in place instead of loading them twice.
        return true;
    });
}

bool systemInterfacesPresent(int *major, int *minor, int *build)
{
    // Nothing on Linux corresponds to the UI Automation interface the gate
    // looks for; report the kernel version for the record.
    const QVersionNumber kernel = QVersionNumber::fromString(QSysInfo::kernelVersion());
    *major = kernel.majorVersion();
    *minor = kernel.minorVersion();
    *build = kernel.microVersion();
    return true;
}

void showSystemTooOldMessage(const QString &title, const QString &text)
{
    std::fprintf(stderr, "%s\n%s\n", title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
}

QString currentUserTag()
{
    return QString::number(::getuid());
}

void attachParentConsole()
{
    // Standard output and error already are the terminal's.
}

void ignoreFileSizeSignal()
{
    ::signal(SIGXFSZ, SIG_IGN);
}
