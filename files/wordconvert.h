#pragma once

#include <QString>

// Word documents (.docx, .doc) become PDFs before a canvas sees them: by
// Word/WPS automation where it exists, else by LibreOffice run headless.
// Results are cached in the temp folder under a name made of the source's
// path, size and modification time, so an unchanged document opens at once.
//
// The conversion itself is WordConvertJob (files/wordconvertjob.h); the
// blocking convertWordToPdf below waits on one.

enum class WordEngine { None = 0, Word = 1, LibreOffice = 2 };

// ".docx" or ".doc", letter case ignored.
bool isWordDocument(const QString &path);

// Empty when the bytes of source can be a Word document: a ZIP holding
// "word/document.xml", an OLE compound file (.doc, or a protected .docx),
// RTF, or XML/HTML text, as Word itself saves them. Otherwise the message.
// LibreOffice would turn anything else into a PDF of junk text.
QString wordContentProblem(const QString &source);

// The soffice program to run, with native separators; empty when none.
// Looked up afresh at every call (the setting may have changed).
QString findSoffice();
// Word/WPS automation (only on Windows) or LibreOffice is available.
bool hasConverter();
// By the "WordConvertEngine" setting: 1 Word only, 2 LibreOffice only,
// 0 Word when available, else LibreOffice.
WordEngine chooseEngine();
// The engine's name in the log: "Word" or "LibreOffice".
QString engineName(WordEngine engine);

// Where the PDF of source converted by engine is cached: the temp folder,
// "word-" + SHA-1 of "path|size|mtime-ms" (+ "-lo" for LibreOffice) + ".pdf".
// Empty when source does not exist.
QString wordCachePath(const QString &source, WordEngine engine);

// Converts source, blocking the calling thread (for the command line; the
// window uses WordConvertJob directly). On success pdfPath gets the cached
// PDF; on failure error gets the Chinese message. pdfPath is always cleared
// first.
bool convertWordToPdf(const QString &source, QString *pdfPath, QString *error = nullptr);

// Whether Word is the desktop's default program for .docx; chooses the hint
// after a failed conversion. False when it cannot be told.
bool isWordDefaultForDocx();

// Whether path is a PDF the engine opens with at least one page: only such
// a result enters the cache, and a cached one that no longer opens goes.
bool convertedPdfOpens(const QString &path);

// LibreOffice's "-env:UserInstallation=" argument for profileFolder: the
// folder as a fully encoded file URL (a blank or "#" in the path would
// otherwise break it).
QString libreOfficeProfileArgument(const QString &profileFolder);

// At start-up: ends the LibreOffice processes a crashed program left
// running on its conversions, then removes the "lo-*" folders of the temp
// folder that are older than any conversion can last. Logs under "cache".
// Returns how many folders went.
int sweepConverterLeftovers();
