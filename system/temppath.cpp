#include "system/temppath.h"

#include "platform/userfolders.h"

#include <QDir>
#include <QFileInfo>

namespace {
QString absoluteForwardPath(const QString &path)
{
    // cleanPath folds "..": "/tmp/../home/x" is not a temporary path.
    return QDir::cleanPath(QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

QString systemTempRoot()
{
    const QString system = QDir::tempPath();
    if (system.isEmpty())
        return QString();
    QString root = QDir(system).absolutePath();
    while (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}

} // namespace

bool pathIsUnderTempFolder(const QString &path, const QString &tempRoot)
{
    if (path.trimmed().isEmpty() || tempRoot.trimmed().isEmpty())
        return false;
    QString root = absoluteForwardPath(tempRoot);
    while (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    const QString candidate = absoluteForwardPath(path);
    if (candidate.compare(root, Qt::CaseInsensitive) == 0)
        return true;
    return candidate.startsWith(root + QLatin1Char('/'), Qt::CaseInsensitive);
}

bool isTemporaryPath(const QString &path)
{
    // An unusable temp root means nothing counts as temporary.
    const QString root = systemTempRoot();
    if (!root.isEmpty() && pathIsUnderTempFolder(path, root))
        return true;
    for (const QString &own : {userCacheFolder(), userStateFolder()}) {
        if (!own.isEmpty() && pathIsUnderTempFolder(path, own))
            return true;
    }
    return false;
}
