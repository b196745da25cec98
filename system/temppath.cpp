#include "system/temppath.h"

#include <QDir>
#include <QFileInfo>

namespace {
QString absoluteForwardPath(const QString &path)
{
    // cleanPath folds "..": "/tmp/../home/x" is not a temporary path.
    return QDir::cleanPath(QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath()));
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
