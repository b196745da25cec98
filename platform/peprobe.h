#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Import probe of a 64-bit PE image: names the first system DLL or function
// that would keep Qt's Windows platform plug-in from loading. The byte parser
// is portable; loading DLLs is left to the callbacks so it can be tested.

struct PeImport
{
    QString dll;          // as written in the image (Latin-1)
    QStringList functions; // imported by name, in table order
};

// Parses the import table. Returns an empty text when the image is sound,
// else the report for path ("%1 不是 PE 映像" and the like).
QString readPeImports(const QByteArray &bytes, const QString &path, QList<PeImport> *imports);

// Loads a module by its lower-cased name; on failure fills the system error code.
using PeModuleLoader = std::function<bool(const QString &dll, quint32 *errorCode)>;
// Whether the loaded module exports function.
using PeExportLookup = std::function<bool(const QString &dll, const QString &function)>;

// The whole probe of the file at path: empty when nothing is missing.
QString probePeImports(const QString &path, const PeModuleLoader &load, const PeExportLookup &hasExport);
// Same on bytes already read.
QString probePeImportBytes(const QByteArray &bytes, const QString &path,
                           const PeModuleLoader &load, const PeExportLookup &hasExport);
