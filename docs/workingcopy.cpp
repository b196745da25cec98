#include "docs/workingcopy.h"

#include <QDir>

// Minimal bodies until the real working-copy code lands.

QString tempFolder() { return QDir::tempPath() + QStringLiteral("/lectern"); }
QString workingCopyPath(const QString &) { return QString(); }
QJsonObject sourceFingerprint(const QString &) { return {}; }
bool sameSource(const QJsonObject &, const QJsonObject &) { return false; }
bool isTemporaryPath(const QString &) { return false; }
void sweepTempFolder() {}
