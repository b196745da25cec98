#pragma once

#include <QJsonObject>
#include <QString>

// Working copies, source fingerprints and the program's temporary folder.

QString tempFolder();
QString workingCopyPath(const QString &sourcePath);
QJsonObject sourceFingerprint(const QString &sourcePath);
bool sameSource(const QJsonObject &a, const QJsonObject &b);
// Whether path lies in the system temporary area (never a recent file).
bool isTemporaryPath(const QString &path);
void sweepTempFolder();
