#pragma once

#include "files/boardpdf.h"

#include <QList>
#include <QString>

// Pages this program made (a board, a lesson with inserted pages) live in
// the per-user state folder, not the cache: until a save puts them into a
// package they are the only copy. Each has a record beside its PDFs
// naming the PDF shown now, so a start after a crash can bring it back
// with the ink of its working copy.
struct PageRecord
{
    QString id;          // names the record and its PDFs
    QString name;        // the tab's name ("白板 1", or the lesson's)
    QString pdfPath;     // the PDF the pages stand in now
    QString packagePath; // the package it was saved to last (empty: never)
    QString originPath;  // the lesson it was made from (empty for a board)
    bool board = true;
    BoardStyle style;    // of the pages "＋" adds
    bool saved = false;  // a package holds it as it stands
};

QString pageRecordFolder();
bool ensurePageRecordFolder(QString *error = nullptr);
QString newPageRecordId();
// The PDF of the revision-th page layout of record id.
QString pageRevisionPath(const QString &id, int revision);
// Written atomically. False with a Chinese message.
bool writePageRecord(const PageRecord &record, QString *error = nullptr);
// The records of pages no package holds yet, oldest first. Records of
// saved pages are removed on the way (a package holds them).
QList<PageRecord> takeUnsavedPageRecords();
// Whether path is one of the PDFs kept with the records.
bool isPageRecordFile(const QString &path);
// Deletes the record, every PDF of it and their working copies.
void removePageRecord(const QString &id);
