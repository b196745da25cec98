#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// Working copies, source fingerprints and the program's temporary folder.
// Every temporary file of the program lives directly in tempFolder(), named
// by the SHA-1 of a key; the start-up sweep removes those older than 14 days.

QString tempFolder();
// SHA-1 of the UTF-8 bytes of key as 40 lower-case hex digits.
QString tempKeyHash(const QString &key);
QString workingCopyPath(const QString &sourcePath);
QJsonObject sourceFingerprint(const QString &sourcePath);
bool sameSource(const QJsonObject &a, const QJsonObject &b);
// Whether path lies in the system temporary area (never a recent file).
bool isTemporaryPath(const QString &path);
void sweepTempFolder();
// Deletes the regular files directly in folder modified before cutoff;
// returns how many were deleted.
int sweepFolder(const QString &folder, const QDateTime &cutoff);

// Whether path lies in tempFolder(), that is, the program made it for itself.
bool isInTempFolder(const QString &path);
// Sets the modification time of an existing file to now, so the sweep counts
// it as new. False when it is missing or its time cannot be set.
bool touchFile(const QString &path);
// Touches those of paths that lie in tempFolder(): files an open document
// still needs must outlive any sweep. Safe from any thread.
void refreshTempFiles(const QStringList &paths);

// Where the PDF of an opened package is extracted so the PDF engine can read it.
QString extractedPdfPath(const QString &packagePath);
// Makes extractedPdfPath(packagePath) hold exactly pdf. A file already there
// is reused only when its bytes are pdf (the package may have been replaced
// by one around another PDF since), and then dated now, since it is in use
// again; otherwise it is rewritten atomically.
// On failure the open shows "打开失败：无法写入临时文件"; error gets the
// writer's detail for the log.
bool extractPackagePdf(const QString &packagePath, const QByteArray &pdf, QString *pdfPathOut,
                       QString *error = nullptr);
// Writes the "source.pdf" of packagePath (the document's current package,
// which holds the same bytes) to pdfPath again when that extracted PDF has
// vanished while its document is open. Only a file in the temp folder is
// ever recreated: a user's own PDF that went stays gone. True when pdfPath
// exists afterwards. Logs under "cache"; safe from any thread.
bool restoreExtractedPdf(const QString &pdfPath, const QString &packagePath, QString *error = nullptr);

// Reads the ink of the working copy at copy. A copy whose checks fail is
// never restored: it is moved aside (kept as evidence, and so the next
// write does not replace it) and logged under "open".
enum class WorkingCopyRead { Missing, Unreadable, Damaged, Ok };
WorkingCopyRead readWorkingCopyInk(const QString &copy, QJsonObject *json);
// Where a damaged working copy is kept; the sweep removes it in time.
QString damagedWorkingCopyPath(const QString &copy);
// Status-bar text when a damaged working copy was not restored.
QString damagedWorkingCopyText();

// Outcome of the restore gate, run after a non-package document has loaded.
struct RestoreResult
{
    enum class Outcome { NoWorkingCopy, Unreadable, Damaged, Restored, Mismatch };
    Outcome outcome = Outcome::NoWorkingCopy;
    QJsonObject annotations; // to import into the canvas when Restored
    QString statusText; // to show once the tab is in place; empty for none
    int statusTimeoutMs = 0;
};
// Looks for the working copy of sourcePath and hands out its ink only when
// the source is provably unchanged since it was written. Logs under "open".
RestoreResult runRestoreGate(const QString &sourcePath);

// Writes the working copy of sourcePath (creating the temporary folder).
// fingerprint is the source's fingerprint taken when the document was
// loaded, so ink drawn on those bytes never gets attached to a newer file.
// The copy keeps the PDF by reference: restore reads only the ink and
// proves the source unchanged by the fingerprint, so "source.pdf" is
// stored empty and a write costs the ink, not the PDF. Copies that hold
// the whole PDF (written by earlier versions) restore the same way.
bool writeWorkingCopy(const QString &sourcePath, const QJsonObject &annotations, const QJsonObject &fingerprint,
                      QString *error = nullptr);
// Removes the working copy of sourcePath (discarded ink must not come back).
bool removeWorkingCopy(const QString &sourcePath);
