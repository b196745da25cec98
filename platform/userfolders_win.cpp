#include "platform/userfolders.h"

#include <QDir>
#include <QFileInfo>

// %TEMP% is per user and survives a reboot on Windows: everything stays in
// one folder there, and there is nothing older to move over.

QString userStateFolder()
{
    return QDir::tempPath() + QStringLiteral("/lectern");
}

QString userCacheFolder()
{
    return QDir::tempPath() + QStringLiteral("/lectern");
}

QString userRuntimeFolder()
{
    // Named pipes have a namespace of their own.
    return QString();
}

QString legacyTempFolder()
{
    return QString();
}

bool makePrivateFolder(const QString &folder, QString *error)
{
    if (!folder.isEmpty() && QDir().mkpath(folder))
        return true;
    if (error)
        *error = QStringLiteral("无法创建文件夹 %1").arg(folder);
    return false;
}

bool isOwnRegularFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}
