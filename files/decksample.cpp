#include "files/decksample.h"

#include "files/wordconvert.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

namespace {

constexpr int kConvertMs = 300000;

// A picture like a photograph in a lesson: soft colours, many shapes, the
// slide's number.
QByteArray slidePicture(int slide)
{
    QImage image(1280, 720, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 1280, 720);
    sky.setColorAt(0, QColor::fromHsv((slide * 41) % 360, 90, 245));
    sky.setColorAt(1, QColor::fromHsv((slide * 41 + 150) % 360, 170, 150));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 120; ++i) {
        const int seed = slide * 977 + i * 131;
        painter.setBrush(QColor::fromHsv(seed % 360, 160 + seed % 80, 200, 180));
        painter.drawEllipse(QPoint((seed * 53) % 1280, (seed * 29) % 720), 8 + seed % 60, 8 + (seed / 7) % 50);
    }
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(180);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(slide));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

QByteArray sampleFlatDeck(int slides)
{
    QByteArray pages;
    for (int slide = 1; slide <= slides; ++slide) {
        const QByteArray title = QStringLiteral("第 %1 页　课堂示例").arg(slide).toUtf8();
        pages += "<draw:page draw:name=\"p" + QByteArray::number(slide) + "\" draw:master-page-name=\"Default\">"
                 "<draw:frame svg:x=\"1.5cm\" svg:y=\"0.8cm\" svg:width=\"25cm\" svg:height=\"2.5cm\"><draw:text-box>"
                 "<text:p text:style-name=\"title\">" + title + "</text:p></draw:text-box></draw:frame>"
                 "<draw:frame svg:x=\"4cm\" svg:y=\"3.6cm\" svg:width=\"20cm\" svg:height=\"11.25cm\"><draw:image>"
                 "<office:binary-data>" + slidePicture(slide).toBase64() + "</office:binary-data>"
                 "</draw:image></draw:frame></draw:page>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
           "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
           "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
           "xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\" "
           "office:version=\"1.3\" office:mimetype=\"application/vnd.oasis.opendocument.presentation\">"
           "<office:automatic-styles><style:page-layout style:name=\"PM1\"><style:page-layout-properties "
           "fo:margin-top=\"0cm\" fo:margin-bottom=\"0cm\" fo:margin-left=\"0cm\" fo:margin-right=\"0cm\" "
           "fo:page-width=\"28cm\" fo:page-height=\"15.75cm\" style:print-orientation=\"landscape\"/></style:page-layout>"
           "<style:style style:name=\"title\" style:family=\"paragraph\"><style:text-properties fo:font-size=\"32pt\"/>"
           "</style:style></office:automatic-styles>"
           "<office:master-styles><style:master-page style:name=\"Default\" style:page-layout-name=\"PM1\"/>"
           "</office:master-styles><office:body><office:presentation>\n"
        + pages + "</office:presentation></office:body></office:document>\n";
}

bool writeSampleDeck(const QString &path, int slides, const QString &soffice, QString *error)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (soffice.isEmpty())
        return fail(QStringLiteral("no LibreOffice"));
    const QFileInfo target(path);
    QTemporaryDir work(target.absolutePath() + QStringLiteral("/.deck-XXXXXX"));
    if (!work.isValid())
        return fail(work.errorString());
    const QString flat = work.filePath(target.completeBaseName() + QStringLiteral(".fodp"));
    QSaveFile file(flat);
    if (!file.open(QIODevice::WriteOnly) || file.write(sampleFlatDeck(slides)) < 0 || !file.commit())
        return fail(file.errorString());
    QProcess convert;
    convert.start(soffice, {libreOfficeProfileArgument(work.filePath(QStringLiteral("profile"))),
                            QStringLiteral("--headless"), QStringLiteral("--convert-to"), target.suffix(),
                            QStringLiteral("--outdir"), work.path(), flat});
    if (!convert.waitForFinished(kConvertMs) || convert.exitCode() != 0)
        return fail(QStringLiteral("soffice could not write %1").arg(target.suffix()));
    const QString made = work.filePath(target.completeBaseName() + QLatin1Char('.') + target.suffix());
    QFile::remove(path);
    if (!QFile::rename(made, path))
        return fail(QStringLiteral("cannot write %1").arg(path));
    return true;
}
