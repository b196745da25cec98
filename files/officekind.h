#pragma once

#include <QString>
#include <QStringList>

// Office documents become PDFs through the same converter: Word documents,
// presentations (one PDF page per slide) and other text documents that
// LibreOffice reads. The kind decides the converter's filter, the words of
// the messages, and whether the Word question is asked (Word only).
enum class OfficeKind { None, Word, Presentation, Text };

// By name, letter case ignored: .docx .doc; .pptx .ppt .pps .ppsx .pptm
// .odp; .odt .rtf .wps. None for anything else.
OfficeKind officeKindOf(const QString &path);
bool isOfficeDocument(const QString &path);

// The suffixes of a kind as file-dialog patterns ("*.pptx", ...).
QStringList officePatterns(OfficeKind kind);
// Patterns of every office kind.
QStringList allOfficePatterns();

// The kind's word in messages: "Word 文档", "演示文稿", "文档".
QString officeKindWord(OfficeKind kind);

// Empty when the bytes of source can be a document of its kind; otherwise
// the Chinese message. A presentation is an OLE compound file (.ppt, .pps, a
// protected .pptx) or a ZIP holding PowerPoint's "ppt/presentation.xml" or
// an OpenDocument presentation; a text document is RTF, an OLE compound file
// (.wps, a .doc under another name) or a ZIP holding Word's or
// OpenDocument's text; a Word document passes wordContentProblem.
// LibreOffice turns anything else into a PDF of junk
// text, or fails after a long wait.
QString officeContentProblem(const QString &source);

// Whether the LibreOffice of soffice can read presentations: its filter
// configuration lists Impress. True when the installation's layout is not
// recognised (the conversion then says what went wrong).
bool libreOfficeReadsPresentations(const QString &soffice);

// Whether a converter for kind is here: LibreOffice for a presentation,
// Word/WPS or LibreOffice for the rest (hasConverter).
bool hasConverterFor(OfficeKind kind);
