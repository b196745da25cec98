#pragma once

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

// Helpers shared by the tests: real PDF files drawn with QPdfWriter, and the
// path of the built program for tests that run it as a child process.
namespace TestUtil {

// Writes a PDF with one page per entry of pageSizesPt (sizes in PDF points).
// Each page carries a large page number and the given text so that rendering
// can be checked by pixels. Returns false when the file cannot be written.
bool writePdf(const QString &path, const QList<QSizeF> &pageSizesPt,
              const QString &text = QString());

// Convenience: count A4 portrait pages.
bool writeA4Pdf(const QString &path, int count, const QString &text = QString());

// Absolute path of the built lectern executable.
QString lecternBinary();

// Folder with the checked-in test data.
QString dataDir();

} // namespace TestUtil
