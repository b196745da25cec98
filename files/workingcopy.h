#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// Working copies, source fingerprints and the program's own files. Working
// copies (recovery data) live in workingCopyFolder(), which survives a
// reboot; everything the program can make again (extracted package PDFs,
// conversions, picture wrappers, private PDF copies) lives in tempFolder().
// Both are private to the user; files in them are named by the SHA-1 of a
// key.

// The folder of derived files (empty when there is none).
QString tempFolder();
// The folder of working copies (empty when there is none).
QString workingCopyFolder();
// Create the folders (private to the user) when missing; error gets the
// detail for the log.
bool ensureTempFolder(QString *error = nullptr);
bool ensureWorkingCopyFolder(QString *error = nullptr);
// SHA-1 of the UTF-8 bytes of key as 40 lower-case hex digits.
QString tempKeyHash(const QString &key);
QString workingCopyPath(const QString &sourcePath);
QJsonObject sourceFingerprint(const QString &sourcePath);
bool sameSource(const QJsonObject &a, const QJsonObject &b);
// The start-up sweep: derived files older than 14 days go, and files left
// half-written beside the working copies; a working copy never goes by age.
void sweepTempFolder();
// Deletes the regular files directly in folder modified before cutoff;
// returns how many were deleted.
int sweepFolder(const QString &folder, const QDateTime &cutoff);
// Moves the working copies this user left in the folder earlier versions
// used (below the system temporary folder, which a reboot empties) into
// workingCopyFolder(). Nothing is overwritten: when both places hold a copy
// for one source, the newer keeps the name and the other is kept beside
// it. Returns how many were moved.
int migrateLegacyWorkingCopies();

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
// Where a damaged working copy is kept.
QString damagedWorkingCopyPath(const QString &copy);
// Status-bar text when a damaged working copy was not restored.
QString damagedWorkingCopyText();
// Moves a working copy whose source has changed out of the way of new
// writes, to a name no earlier copy kept aside uses. Returns where it went
// (empty when it could not be moved). Logs under "open".
QString keepMismatchedWorkingCopy(const QString &copy);
// Status-bar text when a working copy did not match its source.
QString mismatchedWorkingCopyText();

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
// the source is provably unchanged since it was written; a copy that does
// not match is kept aside and reported. Logs under "open".
RestoreResult runRestoreGate(const QString &sourcePath);

// Writes the working copy of sourcePath (creating its folder).
// fingerprint is the source's fingerprint taken when the document was
// loaded, so ink drawn on those bytes never gets attached to a newer file.
// While the source still matches it, the copy keeps the PDF by reference:
// restore reads only the ink and proves the source unchanged by the
// fingerprint, so "source.pdf" is stored empty and a write costs the ink,
// not the PDF. pdf, when not empty, is stored instead (the source has
// changed or gone, and the copy must carry the pages its ink belongs to).
// Copies that hold the whole PDF restore the same way.
bool writeWorkingCopy(const QString &sourcePath, const QJsonObject &annotations, const QJsonObject &fingerprint,
                      QString *error = nullptr, const QByteArray &pdf = QByteArray());
// Removes the working copy of sourcePath (discarded ink must not come back).
bool removeWorkingCopy(const QString &sourcePath);
