// One PNG file per page. A failure on any page deletes every page written
// before it, so an export is all or nothing.
#include "docs/pdfexport.h"
#include "docs/pdfexport_pipeline.h"

#include <QFile>
#include <QSaveFile>

namespace {

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
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly)) {
            *error = QStringLiteral("无法写入 %1：%2").arg(name, file.errorString());
            return false;
        }
        if (!image.save(&file, "PNG")) {
            file.cancelWriting();
            *error = QStringLiteral("第 %1 页 PNG 编码失败").arg(page + 1);
            return false;
        }
        if (!file.commit()) {
            *error = QStringLiteral("提交 %1 失败：%2").arg(name, file.errorString());
            return false;
        }
        m_written.append(name);
        return true;
    }

    bool finish(QString *) override { return true; }

    void abandon() override
    {
        for (const QString &name : std::as_const(m_written))
            QFile::remove(name);
        m_written.clear();
    }

private:
    QString m_base;
    int m_count = 0;
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

int exportPngPages(PdfCanvas *canvas, const QString &base, QString *error, double dpi,
                   ExportMonitor *monitor, QStringList *written)
{
    if (!canvas) {
        if (error)
            *error = QStringLiteral("无效的文档");
        return -1;
    }
    return exportPngPages(exportSource(canvas), base, error, dpi, monitor, written);
}
