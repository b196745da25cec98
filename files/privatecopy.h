#pragma once

#include <QJsonObject>
#include <QString>

class QFile;

// A document's private copy of the PDF its ink is drawn on. A PDF the
// teacher opened from her own folders (or a USB stick) can move, vanish or
// be replaced while the lesson is open; the copy keeps the very pages the
// ink belongs to, for saves, exports and working copies.

// Where the copy of the PDF with fingerprint lives (in the temp folder);
// the name follows from the whole fingerprint, so one name always means
// the same bytes.
QString privateCopyPath(const QJsonObject &fingerprint);

// Copies held (the PDF opened when the document loaded, read from its
// start) to target, and keeps it only when it is the file fingerprint
// describes: same size, same first 64 KiB, same modification time of the
// open file. A copy already at target with the right size and head is
// reused. Runs on any thread; error gets a Chinese message.
bool writePrivateCopy(QFile *held, const QJsonObject &fingerprint, const QString &target,
                      QString *error = nullptr);
