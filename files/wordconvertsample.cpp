#include "files/wordconvertsample.h"

#include "files/crc32.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QSaveFile>

namespace {

struct ZipEntry
{
    QByteArray name;
    QByteArray data;
};

void put16(QByteArray &out, quint16 v)
{
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void put32(QByteArray &out, quint32 v)
{
    put16(out, quint16(v & 0xffff));
    put16(out, quint16(v >> 16));
}

// Stored (uncompressed) entries with UTF-8 names; small documents only.
QByteArray storedZip(const QList<ZipEntry> &entries)
{
    constexpr quint16 kVersion = 20;
    constexpr quint16 kUtf8Names = 0x0800;
    constexpr quint16 kDosTime = 0;
    constexpr quint16 kDosDate = (46 << 9) | (1 << 5) | 1; // 2026-01-01
    QByteArray out;
    QByteArray central;
    for (const ZipEntry &entry : entries) {
        const quint32 offset = quint32(out.size());
        const quint32 crc = zipCrc32(entry.data.constData(), entry.data.size());
        const quint32 size = quint32(entry.data.size());
        put32(out, 0x04034b50);
        for (quint16 v : {kVersion, kUtf8Names, quint16(0), kDosTime, kDosDate})
            put16(out, v);
        put32(out, crc);
        put32(out, size);
        put32(out, size);
        put16(out, quint16(entry.name.size()));
        put16(out, 0);
        out += entry.name;
        out += entry.data;

        put32(central, 0x02014b50);
        for (quint16 v : {kVersion, kVersion, kUtf8Names, quint16(0), kDosTime, kDosDate})
            put16(central, v);
        put32(central, crc);
        put32(central, size);
        put32(central, size);
        put16(central, quint16(entry.name.size()));
        for (int i = 0; i < 4; ++i)
            put16(central, 0); // extra, comment, disk, internal attributes
        put32(central, 0);
        put32(central, offset);
        central += entry.name;
    }
    const quint32 centralOffset = quint32(out.size());
    out += central;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, quint16(entries.size()));
    put16(out, quint16(entries.size()));
    put32(out, quint32(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    return out;
}

QByteArray picturePng(int page)
{
    QImage image(800, 600, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 800, 600);
    sky.setColorAt(0, QColor::fromHsv((page * 37) % 360, 120, 240));
    sky.setColorAt(1, QColor::fromHsv((page * 37 + 120) % 360, 160, 140));
    painter.fillRect(image.rect(), sky);
    for (int i = 0; i < 40; ++i) {
        const int seed = page * 131 + i * 17;
        painter.setBrush(QColor::fromHsv(seed % 360, 200, 220));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPoint((seed * 53) % 800, (seed * 29) % 600), 10 + seed % 50, 10 + seed % 40);
    }
    painter.setPen(Qt::black);
    QFont font = painter.font();
    font.setPixelSize(96);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(page));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QByteArray pictureRun(int page)
{
    // 6 × 4.5 inches in EMU: fits an A4 page beside the text.
    const QByteArray cx = "5486400";
    const QByteArray cy = "4114800";
    const QByteArray id = QByteArray::number(page);
    return "<w:r><w:drawing><wp:inline><wp:extent cx=\"" + cx + "\" cy=\"" + cy + "\"/><wp:docPr id=\"" + id
        + "\" name=\"Picture " + id + "\"/><a:graphic><a:graphicData "
          "uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic><pic:nvPicPr><pic:cNvPr id=\""
        + id + "\" name=\"image" + id + ".png\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"img"
        + id + "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/>"
          "<a:ext cx=\"" + cx + "\" cy=\"" + cy + "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom>"
          "</pic:spPr></pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
}

QByteArray paragraph(const QString &text)
{
    return "<w:p><w:r><w:t xml:space=\"preserve\">" + text.toHtmlEscaped().toUtf8() + "</w:t></w:r></w:p>";
}

} // namespace

QByteArray sampleDocx(int pages, SamplePictures pictures)
{
    const bool withPictures = pictures == SamplePictures::OnePerPage;
    QByteArray body;
    QByteArray relations;
    QList<ZipEntry> media;
    for (int page = 1; page <= pages; ++page) {
        body += paragraph(QStringLiteral("第 %1 课　示例讲义").arg(page));
        body += paragraph(QStringLiteral("老师好：这是第 %1 页。Lectern sample page %1.").arg(page));
        if (withPictures) {
            const QByteArray id = QByteArray::number(page);
            body += "<w:p>" + pictureRun(page) + "</w:p>";
            relations += "<Relationship Id=\"img" + id
                + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" "
                  "Target=\"media/image" + id + ".png\"/>";
            media.append({"word/media/image" + id + ".png", picturePng(page)});
        }
        if (page < pages)
            body += "<w:p><w:r><w:br w:type=\"page\"/></w:r></w:p>";
    }
    const QByteArray xmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    QList<ZipEntry> entries{
        {"[Content_Types].xml",
         xmlHead + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                   "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                   "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                   "<Default Extension=\"png\" ContentType=\"image/png\"/>"
                   "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                   "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
        {"_rels/.rels",
         xmlHead + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                   "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                   "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
        {"word/_rels/document.xml.rels",
         xmlHead + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             + relations + "</Relationships>"},
        {"word/document.xml",
         xmlHead + "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                   "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
                   "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
                   "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                   "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><w:body>"
             + body
             + "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" "
               "w:bottom=\"1440\" w:left=\"1440\" w:header=\"720\" w:footer=\"720\" w:gutter=\"0\"/></w:sectPr>"
               "</w:body></w:document>"},
    };
    entries += media;
    return storedZip(entries);
}

bool writeSampleDocx(const QString &path, int pages, SamplePictures pictures, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(sampleDocx(pages, pictures)) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
