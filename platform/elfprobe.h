#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// The Linux counterpart of the PE import probe: lists the DT_NEEDED libraries
// of a 64-bit ELF shared object (the xcb platform plug-in) and names the first
// one the dynamic loader cannot find, the usual cause of "could not load the
// Qt platform plugin".

// Returns an empty text when the image is sound, else the report for path.
QString readElfNeeded(const QByteArray &bytes, const QString &path, QStringList *needed);

// Tries to load a library by its soname; fills a reason on failure.
using ElfLibraryLoader = std::function<bool(const QString &soname, QString *reason)>;

QString probeElfNeededBytes(const QByteArray &bytes, const QString &path, const ElfLibraryLoader &load);
QString probeElfNeeded(const QString &path, const ElfLibraryLoader &load);
