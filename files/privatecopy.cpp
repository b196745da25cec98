#include "files/privatecopy.h"

#include "files/workingcopy.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr qint64 kHeadBytes = 65536;
constexpr qint64 kChunkBytes = 1 << 20;

QString headOf(QFile *file)
{
    if (!file->seek(0))
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(file->read(kHeadBytes), QCryptographicHash::Sha1).toHex());
}

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

QString privateCopyPath(const QJsonObject &fingerprint)
{
    const QString folder = tempFolder();
    if (folder.isEmpty() || fingerprint.isEmpty())
        return QString();
    const QString key = QStringList{fingerprint.value(QStringLiteral("path")).toString(),
                                    QString::number(fingerprint.value(QStringLiteral("size")).toDouble(), 'f', 0),
                                    QString::number(fingerprint.value(QStringLiteral("mtimeMs")).toDouble(), 'f', 0),
                                    fingerprint.value(QStringLiteral("head")).toString()}
                            .join(QLatin1Char('\n'));
    return folder + QStringLiteral("/copy-") + tempKeyHash(key) + QStringLiteral(".pdf");
}

bool writePrivateCopy(QFile *held, const QJsonObject &fingerprint, const QString &target, QString *error)
{
    if (!held || !held->isOpen() || target.isEmpty())
        return fail(error, QStringLiteral("没有可复制的 PDF"));
    const qint64 size = qint64(fingerprint.value(QStringLiteral("size")).toDouble(-1));
    const QString head = fingerprint.value(QStringLiteral("head")).toString();
    const qint64 mtime = qint64(fingerprint.value(QStringLiteral("mtimeMs")).toDouble(-1));
    // The open file itself: a rename or deletion of the path since does not
    // matter, an edit in place shows in its size, head or date.
    if (held->size() != size || held->fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch() != mtime
        || headOf(held) != head)
        return fail(error, QStringLiteral("PDF 在打开后已被改动"));

    QFile existing(target);
    if (existing.open(QIODevice::ReadOnly) && existing.size() == size && headOf(&existing) == head) {
        // In use again: the sweep must see it as new.
        touchFile(target);
        return true;
    }
    existing.close();

    QString folderError;
    if (!ensureTempFolder(&folderError))
        return fail(error, folderError);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("无法写入 %1：%2").arg(target, out.errorString()));
    if (!held->seek(0))
        return fail(error, QStringLiteral("无法读取 PDF：%1").arg(held->errorString()));
    QByteArray buffer(int(kChunkBytes), Qt::Uninitialized);
    qint64 copied = 0;
    while (copied < size) {
        const qint64 got = held->read(buffer.data(), qMin(kChunkBytes, size - copied));
        if (got <= 0)
            return fail(error, QStringLiteral("读取 PDF 中断：%1").arg(held->errorString()));
        if (out.write(buffer.constData(), got) != got)
            return fail(error, QStringLiteral("写入 %1 失败：%2").arg(target, out.errorString()));
        copied += got;
    }
    // Checked again after the copy: an edit while copying is caught too.
    if (held->fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch() != mtime || held->size() != size)
        return fail(error, QStringLiteral("PDF 在复制时被改动"));
    if (!out.commit())
        return fail(error, QStringLiteral("写入 %1 失败：%2").arg(target, out.errorString()));
    return true;
}
