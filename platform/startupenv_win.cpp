#include "platform/startupenv.h"

#include "platform/systemcheck.h"
#include "platform/peprobe.h"

#include <QFileInfo>
#include <QOperatingSystemVersion>

#include <windows.h>

#include <cstdio>

QString startupDataFolder()
{
    return QString::fromLocal8Bit(qgetenv("LOCALAPPDATA")) + QStringLiteral("/Lectern");
}

QString systemVersionText()
{
    const QOperatingSystemVersion v = QOperatingSystemVersion::current();
    return QStringLiteral("Windows %1.%2 build %3").arg(v.majorVersion()).arg(v.minorVersion()).arg(v.microVersion());
}

QString executableFolder()
{
    constexpr DWORD kCapacity = 1024;
    wchar_t buffer[kCapacity];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, kCapacity);
    if (length == 0 || length >= kCapacity)
        return QString();
    const QString path = QString::fromWCharArray(buffer, int(length));
    const int slash = path.lastIndexOf(QLatin1Char('\\'));
    return slash > 0 ? path.left(slash) : QString();
}

QString platformPluginPath()
{
    const QString folder = executableFolder();
    const QString plugin = folder + QStringLiteral("/platforms/qwindows.dll");
    return !folder.isEmpty() && QFileInfo::exists(plugin) ? plugin : QString();
}

QString probePlatformPlugin(const QString &pluginPath)
{
    if (pluginPath.isEmpty())
        return QString();
    return probePeImports(
        pluginPath,
        [](const QString &dll, quint32 *code) {
            if (LoadLibraryA(dll.toLatin1().constData()))
                return true;
            *code = GetLastError();
            return false;
        },
        [](const QString &dll, const QString &function) {
            HMODULE module = GetModuleHandleA(dll.toLatin1().constData());
            return module && GetProcAddress(module, function.toLatin1().constData());
        });
}

bool systemInterfacesPresent(int *major, int *minor, int *build)
{
    const QOperatingSystemVersion v = QOperatingSystemVersion::current();
    *major = v.majorVersion();
    *minor = v.minorVersion();
    *build = v.microVersion();
    // The library stays loaded for the life of the process.
    HMODULE uia = LoadLibraryA("UIAutomationCore.dll");
    if (!uia || !GetProcAddress(uia, "UiaRaiseNotificationEvent"))
        return false;
    return systemInterfaceCheckPasses(*major, *minor, *build);
}

void showSystemTooOldMessage(const QString &title, const QString &text)
{
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t *>(text.utf16()),
                reinterpret_cast<const wchar_t *>(title.utf16()), MB_OK | MB_ICONERROR);
}

QString currentUserTag()
{
    // The pipe keeps its plain name here; the server admits this user only.
    return QString();
}

void attachParentConsole()
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE)
        return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        FILE *unused = nullptr;
        freopen_s(&unused, "CONOUT$", "w", stdout);
        freopen_s(&unused, "CONOUT$", "w", stderr);
    }
}

void ignoreFileSizeSignal()
{
    // Windows has no such signal: a write beyond a quota simply fails.
}
