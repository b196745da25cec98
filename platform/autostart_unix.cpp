#include "platform/fileassoc.h"
#include "platform/fileassoc_xdg.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

// Linux stand-in for the Run value: an XDG autostart entry whose Exec is the
// quoted program path.

namespace {

QString autostartPath() { return Xdg::configHome() + QStringLiteral("/autostart/lectern.desktop"); }

QByteArray readEntry()
{
    QFile file(autostartPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString currentExec()
{
    const QString program = QCoreApplication::applicationFilePath();
    return program.isEmpty() ? QString() : Xdg::execQuoted(program);
}

void fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
}

} // namespace

bool isAutoStartEnabled()
{
    const QString exec = currentExec();
    return !exec.isEmpty() && QFileInfo::exists(autostartPath())
        && Xdg::entryValue(readEntry(), QStringLiteral("Exec")) == exec;
}

bool setAutoStart(bool on, QString *error)
{
    const QString path = autostartPath();
    const QString native = QDir::toNativeSeparators(path);
    const QByteArray existing = readEntry();
    const bool exists = QFileInfo::exists(path);
    const bool ours = Xdg::isOurEntry(existing);
    const QString exec = currentExec();
    const bool startsUs = !exec.isEmpty() && Xdg::entryValue(existing, QStringLiteral("Exec")) == exec;
    if (!on) {
        // Only an entry of ours, or one that starts this very copy, is ours to remove.
        if (exists && (ours || startsUs)
            && !Xdg::removeFile(path, error, QStringLiteral("无法删除自启动项（%1）").arg(native)))
            return false;
        if (error)
            error->clear();
        return true;
    }
    if (exec.isEmpty()) {
        fail(error, QStringLiteral("无法获取程序路径"));
        return false;
    }
    if (exists && !ours && !startsUs) {
        fail(error, QStringLiteral("%1 已由其他程序写入，未覆盖").arg(native));
        return false;
    }
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=青简批注\n"
                                            "Exec=%1\n"
                                            "Icon=lectern\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n"
                                            "%2=Lectern\n")
                                 .arg(exec, Xdg::ownerKey())
                                 .toUtf8();
    bool changed = false;
    if (!(exists && !ours)
        && !Xdg::writeIfDifferent(path, entry, &changed, error,
                                  QStringLiteral("无法写入自启动项（%1）").arg(native)))
        return false;
    if (error)
        error->clear();
    return true;
}
