#include "files/boardstore.h"

#include "files/workingcopy.h"
#include "platform/userfolders.h"
#include "system/diaglog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>

namespace {

QString recordPath(const QString &id)
{
    return pageRecordFolder() + QStringLiteral("/") + id + QStringLiteral(".json");
}

bool readRecord(const QString &path, PageRecord *record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 65536)
        return false;
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    record->id = QFileInfo(path).completeBaseName();
    record->name = o.value(QStringLiteral("name")).toString();
    record->pdfPath = o.value(QStringLiteral("pdf")).toString();
    record->packagePath = o.value(QStringLiteral("package")).toString();
    record->originPath = o.value(QStringLiteral("origin")).toString();
    record->board = o.value(QStringLiteral("board")).toBool();
    record->saved = o.value(QStringLiteral("saved")).toBool();
    record->style.chalkboard = o.value(QStringLiteral("chalk")).toBool();
    if (!boardKindFromName(o.value(QStringLiteral("kind")).toString(), &record->style.kind))
        record->style.kind = BoardKind::Blank;
    // Only a PDF of this record, in this folder, is ever opened from it.
    const QFileInfo pdf(record->pdfPath);
    return !record->name.isEmpty() && pdf.absolutePath() == QFileInfo(pageRecordFolder()).absoluteFilePath()
        && pdf.fileName().startsWith(record->id + QLatin1Char('-'));
}

} // namespace

QString pageRecordFolder()
{
    const QString base = workingCopyFolder();
    return base.isEmpty() ? QString() : base + QStringLiteral("/pages");
}

bool ensurePageRecordFolder(QString *error)
{
    return ensureWorkingCopyFolder(error) && makePrivateFolder(pageRecordFolder(), error);
}

QString newPageRecordId()
{
    return QUuid::createUuid().toString(QUuid::Id128);
}

QString pageRevisionPath(const QString &id, int revision)
{
    return pageRecordFolder() + QStringLiteral("/%1-%2.pdf").arg(id).arg(revision);
}

bool writePageRecord(const PageRecord &record, QString *error)
{
    QJsonObject o;
    o.insert(QStringLiteral("name"), record.name);
    o.insert(QStringLiteral("pdf"), record.pdfPath);
    o.insert(QStringLiteral("package"), record.packagePath);
    o.insert(QStringLiteral("origin"), record.originPath);
    o.insert(QStringLiteral("board"), record.board);
    o.insert(QStringLiteral("saved"), record.saved);
    o.insert(QStringLiteral("kind"), boardKindKey(record.style.kind));
    o.insert(QStringLiteral("chalk"), record.style.chalkboard);
    const QByteArray bytes = QJsonDocument(o).toJson();
    QSaveFile file(recordPath(record.id));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("无法写入 %1：%2").arg(recordPath(record.id), file.errorString());
        return false;
    }
    return true;
}

QList<PageRecord> takeUnsavedPageRecords()
{
    QList<PageRecord> records;
    const QString folder = pageRecordFolder();
    if (folder.isEmpty())
        return records;
    QDir dir(folder);
    const QFileInfoList metas = dir.entryInfoList({ QStringLiteral("*.json") }, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo &meta : metas) {
        PageRecord record;
        if (!readRecord(meta.absoluteFilePath(), &record)) {
            logInfo(QStringLiteral("open"), QStringLiteral("页面记录无法读取，已保留：%1").arg(meta.absoluteFilePath()));
            continue;
        }
        if (record.saved) {
            removePageRecord(record.id);
            continue;
        }
        if (QFileInfo::exists(record.pdfPath))
            records.append(record);
    }
    return records;
}

void removePageRecord(const QString &id)
{
    if (id.isEmpty() || pageRecordFolder().isEmpty())
        return;
    QDir dir(pageRecordFolder());
    for (const QString &name : dir.entryList({ id + QStringLiteral("-*.pdf") }, QDir::Files)) {
        const QString pdf = dir.absoluteFilePath(name);
        removeWorkingCopy(pdf);
        QFile::remove(pdf);
    }
    QFile::remove(recordPath(id));
}

bool isPageRecordFile(const QString &path)
{
    const QString folder = pageRecordFolder();
    return !folder.isEmpty() && !path.isEmpty()
        && QDir::cleanPath(QFileInfo(path).absolutePath()) == QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}
