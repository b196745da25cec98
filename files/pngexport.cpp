// One PNG file per page, all or nothing: the pages are written under
// temporary names beside their targets and put in place only when every
// one of them succeeded, so a failed or cancelled export leaves an earlier
// export of the same name exactly as it was.
#include "files/pdfexport.h"
#include "files/pdfexport_pipeline.h"
#include "platform/filereplace.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

// A hidden, unique name beside target, made as an empty file.
QString reserveBeside(const QString &target, const char *kind, QString *error)
{
    const QFileInfo info(target);
    QTemporaryFile file(info.dir().filePath(QStringLiteral(".%1.XXXXXX.%2").arg(info.fileName(),
                                                                                 QLatin1String(kind))));
    file.setAutoRemove(false);
    if (!file.open()) {
        *error = file.errorString();
        return QString();
    }
    return file.fileName();
}

class PngPagesSink : public ExportSink
{
public:
    explicit PngPagesSink(const QString &base) : m_base(base) {}

    QStringList written() const { return m_written; }

    bool begin(int pageCount, QString *) override
    {
        m_count = pageCount;
        return true;
    }

    bool addPage(int page, const QImage &image, const QSizeF &, QString *error) override
    {
        const QString name = pngPageName(m_base, page + 1, m_count);
        QString reason;
        const QString temp = reserveBeside(name, "part", &reason);
        if (temp.isEmpty()) {
            *error = QStringLiteral("无法写入 %1：%2").arg(name, reason);
            return false;
        }
        m_staged.append({temp, name, QString(), false});
        // Encoded in memory first, so a full disk reads as what it is and
        // not as an encoding failure.
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            if (!image.save(&buffer, "PNG")) {
                *error = QStringLiteral("第 %1 页 PNG 编码失败").arg(page + 1);
                return false;
            }
        }
        QFile file(temp);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            *error = QStringLiteral("无法写入 %1：%2").arg(name, file.errorString());
            return false;
        }
        // A full disk may first take part of the bytes; writing the rest
        // then fails with the system's reason.
        for (qint64 done = 0; done < png.size();) {
            const qint64 n = file.write(png.constData() + done, png.size() - done);
            if (n <= 0) {
                *error = QStringLiteral("写入 %1 失败：%2").arg(name, file.errorString());
                return false;
            }
            done += n;
        }
        file.close();
        // Readable like any file the teacher saves (the temporary one is private).
        file.setPermissions(QFileInfo::exists(name) ? QFile::permissions(name) : kSharedPermissions);
        return true;
    }

    bool finish(QString *error) override
    {
        // Set the earlier pages aside first, so a page that cannot be put in
        // place can still bring every earlier one back.
        for (Staged &s : m_staged) {
            if (!QFileInfo(s.target).exists() && !QFileInfo(s.target).isSymLink())
                continue;
            QString reason;
            s.backup = reserveBeside(s.target, "old", &reason);
            if (s.backup.isEmpty() || !replaceFile(s.target, s.backup, &reason)) {
                if (!s.backup.isEmpty())
                    QFile::remove(s.backup);
                s.backup.clear();
                return rollBack(s.target, reason, error);
            }
        }
        for (Staged &s : m_staged) {
            QString reason;
            if (!replaceFile(s.temp, s.target, &reason))
                return rollBack(s.target, reason, error);
            s.placed = true;
        }
        for (const Staged &s : std::as_const(m_staged)) {
            if (!s.backup.isEmpty())
                QFile::remove(s.backup);
            m_written.append(s.target);
        }
        m_staged.clear();
        return true;
    }

    void abandon() override
    {
        for (const Staged &s : std::as_const(m_staged)) {
            if (!s.placed)
                QFile::remove(s.temp);
        }
        m_staged.clear();
    }

private:
    static constexpr QFile::Permissions kSharedPermissions = QFile::ReadOwner | QFile::WriteOwner
        | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;

    struct Staged
    {
        QString temp;    // the new page, until it is in place
        QString target;
        QString backup;  // the earlier page set aside, if there was one
        bool placed = false;
    };

    bool rollBack(const QString &failed, const QString &reason, QString *error)
    {
        for (auto it = m_staged.rbegin(); it != m_staged.rend(); ++it) {
            if (it->placed && it->backup.isEmpty())
                QFile::remove(it->target);
            else if (!it->backup.isEmpty())
                replaceFile(it->backup, it->target);
            if (!it->placed)
                QFile::remove(it->temp);
        }
        m_staged.clear();
        *error = QStringLiteral("提交 %1 失败：%2").arg(failed, reason);
        return false;
    }

    QString m_base;
    int m_count = 0;
    QList<Staged> m_staged;
    QStringList m_written;
};

} // namespace

QString pngPageName(const QString &base, int page, int count)
{
    QString stem = base;
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    const qsizetype separator =
        std::max(base.lastIndexOf(QLatin1Char('\\')), base.lastIndexOf(QLatin1Char('/')));
    if (dot >= 0 && dot > separator)
        stem.truncate(dot);
    const int digits = count < 2 ? 1 : int(QString::number(count).size());
    return QStringLiteral("%1-%2.png").arg(stem).arg(page, digits, 10, QLatin1Char('0'));
}

int exportPngPages(const ExportSource &source, const QString &base, QString *error, double dpi,
                   ExportMonitor *monitor, QStringList *written)
{
    if (source.pageSizes.isEmpty()) {
        if (error)
            *error = QStringLiteral("文档没有可导出的页面");
        return -1;
    }
    PngPagesSink sink(base);
    if (!runExportPipeline(source, dpi < 1 ? kDefaultPngDpi : dpi, &sink, monitor, error))
        return -1;
    if (written)
        *written = sink.written();
    return int(sink.written().size());
}
