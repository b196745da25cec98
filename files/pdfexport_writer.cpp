// The injected PDF: catalog, page tree, then image, content and page object
// of every page, the cross-reference table and the trailer. Each page's
// objects go into the save file as soon as the page is encoded, so only one
// page's JPEG is ever held; the bytes are those of the whole file built in
// one buffer.
#include "files/pdfexport.h"
#include "files/pdfexport_pipeline.h"

#include <QBuffer>
#include <QImageWriter>
#include <QSaveFile>

#include <cmath>
#include <memory>

namespace {

constexpr int kJpegQuality = 85;

QByteArray num(qint64 v)
{
    return QByteArray::number(v);
}

int roundedPoints(double v)
{
    const double r = std::round(v);
    return r < 2 ? 1 : int(r);
}

class PdfStreamSink : public ExportSink
{
public:
    explicit PdfStreamSink(const QString &target) : m_target(target) {}

    bool begin(int pageCount, QString *error) override
    {
        m_count = pageCount;
        m_file = std::make_unique<QSaveFile>(m_target);
        if (!m_file->open(QIODevice::WriteOnly)) {
            *error = QStringLiteral("无法写入 %1：%2").arg(m_target, m_file->errorString());
            m_file.reset();
            return false;
        }
        m_offsets.reserve(3 * pageCount + 2);
        QByteArray head("%PDF-1.4\n");
        head.append("\x25\xE2\xE3\xCF\xD3\x0A", 6);
        QByteArray kids;
        kids.reserve(12 * pageCount);
        for (int k = 0; k < pageCount; ++k)
            kids += num(3 * k + 5) + " 0 R ";
        return put(head, error)
            && putObject(1, "<< /Type /Catalog /Pages 2 0 R >>", error)
            && putObject(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + num(pageCount) + " >>",
                         error);
    }

    bool addPage(int k, const QImage &image, const QSizeF &pagePt, QString *error) override
    {
        QByteArray jpeg;
        bool encoded = false;
        {
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "jpeg");
            writer.setQuality(kJpegQuality);
            // A failed encoder may leave part of a stream behind.
            encoded = writer.write(image);
        }
        if (!encoded || jpeg.isEmpty()) {
            *error = QStringLiteral("第 %1 页 JPEG 编码失败").arg(k + 1);
            return false;
        }
        const QByteArray wPt = num(roundedPoints(pagePt.width()));
        const QByteArray hPt = num(roundedPoints(pagePt.height()));
        const QByteArray content = "q " + wPt + " 0 0 " + hPt + " 0 0 cm /Im0 Do Q";
        const QByteArray imageHead = "<< /Type /XObject /Subtype /Image /Width " + num(image.width())
            + " /Height " + num(image.height())
            + " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length "
            + num(jpeg.size()) + " >>\nstream\n";
        if (!(beginObject(3 * k + 3, error) && put(imageHead, error) && put(jpeg, error)
              && put("\nendstream", error) && endObject(error)))
            return false;
        jpeg.clear();
        return putObject(3 * k + 4,
                         "<< /Length " + num(content.size()) + " >>\nstream\n" + content + "\nendstream",
                         error)
            && putObject(3 * k + 5,
                         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + wPt + " " + hPt
                             + "] /Resources << /XObject << /Im0 " + num(3 * k + 3)
                             + " 0 R >> >> /Contents " + num(3 * k + 4) + " 0 R >>",
                         error);
    }

    bool finish(QString *error) override
    {
        const qint64 xref = m_pos;
        const int entries = 3 * m_count + 3;
        QByteArray table = "xref\n0 " + num(entries) + "\n0000000000 65535 f \n";
        table.reserve(table.size() + 20 * m_offsets.size() + 64);
        for (qint64 offset : std::as_const(m_offsets))
            table += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        table += "trailer\n<< /Size " + num(entries) + " /Root 1 0 R >>\nstartxref\n" + num(xref)
            + "\n%%EOF\n";
        if (!put(table, error))
            return false;
        if (!m_file->flush()) {
            *error = QStringLiteral("写入 %1 失败：%2").arg(m_target, m_file->errorString());
            return false;
        }
        if (!m_file->commit()) {
            *error = QStringLiteral("提交 %1 失败：%2").arg(m_target, m_file->errorString());
            m_file.reset();
            return false;
        }
        m_file.reset();
        return true;
    }

    void abandon() override
    {
        if (m_file)
            m_file->cancelWriting();
        m_file.reset(); // removes the temporary file; the target stays as it was
    }

private:
    bool put(const QByteArray &bytes, QString *error)
    {
        // A full disk may first take part of the bytes; writing the rest
        // then fails with the system's reason.
        for (qint64 done = 0; done < bytes.size();) {
            const qint64 n = m_file->write(bytes.constData() + done, bytes.size() - done);
            if (n <= 0) {
                *error = QStringLiteral("写入 %1 失败：%2").arg(m_target, m_file->errorString());
                return false;
            }
            done += n;
        }
        m_pos += bytes.size();
        return true;
    }
    bool beginObject(int number, QString *error)
    {
        // Objects are written in number order, so the list is the xref order.
        m_offsets.append(m_pos);
        Q_ASSERT(m_offsets.size() == number);
        return put(num(number) + " 0 obj\n", error);
    }
    bool endObject(QString *error) { return put("\nendobj\n", error); }
    bool putObject(int number, const QByteArray &body, QString *error)
    {
        return beginObject(number, error) && put(body, error) && endObject(error);
    }

    QString m_target;
    int m_count = 0;
    std::unique_ptr<QSaveFile> m_file;
    qint64 m_pos = 0;
    QList<qint64> m_offsets;   // of objects 1 .. 3n+2
};

} // namespace

bool exportInjectedPdf(const ExportSource &source, const QString &target, QString *error, double dpi,
                       ExportMonitor *monitor)
{
    if (source.pageSizes.isEmpty()) {
        if (error)
            *error = QStringLiteral("文档没有可导出的页面");
        return false;
    }
    PdfStreamSink sink(target);
    return runExportPipeline(source, dpi < 1 ? kDefaultPdfDpi : dpi, &sink, monitor, error);
}
