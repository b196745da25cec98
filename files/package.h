#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// Annotation packages (.dpz): a ZIP archive of exactly two stored entries,
// "source.pdf" (the untouched source bytes) and "annotations.json" (the ink
// object, plus "source" with the fingerprint in working copies). We write and
// read the ZIP bytes ourselves; no compression library is involved.
//
// All functions are free of shared state and may run on any thread.

// True for a name ending in ".dpz" (any case), or a file starting with the
// ZIP local-header signature.
bool looksLikePackage(const QString &path);

// An entry handed out whose recorded checks disagree with its bytes: a CRC
// that does not match, or local and central sizes that differ. The entry is
// still handed out, so a lesson damaged in transit can be rescued; the
// caller warns and must not silently save over the package.
struct PackageDamage
{
    enum class Check { Crc, Size };
    QString entry;              // "source.pdf" or "annotations.json"
    Check check = Check::Crc;
    quint32 recorded = 0;       // the central directory's CRC or size
    quint32 found = 0;          // the CRC of the bytes, or the local header's size
    QString describe() const;   // for the log: entry, check and both values
};

// What the teacher is told about a damaged package: "批注包已损坏：<entries>
// 校验不符，内容可能不完整", each damaged entry named once.
QString packageDamageText(const QList<PackageDamage> &damage);

// Reads a whole package. Outputs are filled only on success; error gets a
// complete sentence for the status bar or the log. Every entry handed out
// is checked; what failed goes to damage (cleared first) when given.
bool readPackage(const QString &path, QByteArray *pdfOut = nullptr, QJsonObject *jsonOut = nullptr,
                 QString *error = nullptr, QList<PackageDamage> *damage = nullptr);

// Decodes package bytes already in memory; path only names the file in
// messages. Same contract as readPackage.
bool decodePackage(const QByteArray &data, const QString &path, QByteArray *pdfOut = nullptr,
                   QJsonObject *jsonOut = nullptr, QString *error = nullptr,
                   QList<PackageDamage> *damage = nullptr);

// Writes a package atomically (temporary file beside the target, renamed on
// commit): a failed write leaves any existing file at path untouched. A
// non-empty fingerprint is stored as the member "source" of the JSON.
bool writePackage(const QString &path, const QByteArray &pdf, const QJsonObject &annotations,
                  QString *error = nullptr, const QJsonObject &fingerprint = QJsonObject());

// The exact archive bytes writePackage stores; empty (with error) when the
// content cannot be expressed without ZIP64. path only names the target in
// that message.
QByteArray encodePackage(const QByteArray &pdf, const QJsonObject &annotations,
                         const QJsonObject &fingerprint, const QString &path, QString *error = nullptr);
