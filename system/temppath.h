#pragma once

#include <QString>

// The rule that keeps temporary files out of the recent list: a path is
// temporary when its absolute form equals tempRoot or lies below it,
// compared without regard to letter case. Pure, so callers and tests can
// pass any root.
bool pathIsUnderTempFolder(const QString &path, const QString &tempRoot);

// Whether path lies in the system temporary area or in one of the
// program's own folders, the derived files' and the working copies' (never
// a recent file).
bool isTemporaryPath(const QString &path);
