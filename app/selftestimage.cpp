#include "app/selftestimage.h"

#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"
#include "files/imageimport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void say(const char *key, const QString &value)
{
    std::fprintf(stdout, "%s=%s\n", key, value.toUtf8().constData());
    std::fflush(stdout);
}

QString sizeText(double width, double height)
{
    return QStringLiteral("%1x%2").arg(width).arg(height);
}

// Four coloured quarters; the top-left one transparent, which must come back white.
QImage testPicture()
{
    QImage image(800, 600, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(400, 0, 400, 300, QColor(200, 30, 30));
    painter.fillRect(0, 300, 400, 300, QColor(30, 160, 60));
    painter.fillRect(400, 300, 400, 300, QColor(20, 40, 190));
    return image;
}

// Largest channel difference between the two images at the quarters' centres.
int worstError(const QImage &expected, const QImage &actual)
{
    int worst = 0;
    for (const QPoint &at : { QPoint(200, 150), QPoint(600, 150), QPoint(200, 450), QPoint(600, 450) }) {
        const QRgb want = expected.pixel(at);
        const QRgb have = actual.pixel(at);
        worst = std::max({ worst, std::abs(qRed(want) - qRed(have)), std::abs(qGreen(want) - qGreen(have)),
                           std::abs(qBlue(want) - qBlue(have)) });
    }
    return worst;
}

} // namespace

int runImageSelfTest()
{
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("自检图片.png"));
    const QImage source = testPicture();
    if (!dir.isValid() || !source.save(picture)) {
        say("result", QStringLiteral("FAIL cannot write %1").arg(picture));
        return 1;
    }
    bool pass = true;

    QElapsedTimer clock;
    clock.start();
    MainWindow window;
    window.show();
    window.openPath(picture);
    say("open_ms", QString::number(clock.elapsed()));
    const bool opened = window.documentCount() == 1;
    say("tab", opened ? window.document(0).displayName : QString());
    pass = pass && opened && window.document(0).displayName == QStringLiteral("自检图片.dpz")
        && window.canvas(0)->pageCount() == 1;

    const QString wrapper = imageWrapperPath(picture);
    say("wrapper", wrapper);
    say("wrapper_bytes", QString::number(QFileInfo(wrapper).size()));
    QPdfDocument pdf;
    pdf.load(wrapper);
    const QSizeF page = pdf.pageCount() == 1 ? pdf.pagePointSize(0) : QSizeF();
    say("page_pt", sizeText(page.width(), page.height()));
    pass = pass && page == QSizeF(600, 450);
    QImage expected(source.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter(&expected).drawImage(0, 0, source);
    const QImage rendered = page.isEmpty() ? QImage() : pdf.render(0, QSize(800, 600));
    const int error = rendered.size() == QSize(800, 600) ? worstError(expected, rendered) : 255;
    say("render_px", sizeText(rendered.width(), rendered.height()));
    say("max_channel_error", QString::number(error));
    pass = pass && error <= 8;

    const QString big = dir.filePath(QStringLiteral("big.png"));
    QImage large(4000, 4000, QImage::Format_RGB32);
    large.fill(QColor(90, 120, 150));
    QString message;
    const QString bigPdf = dir.filePath(QStringLiteral("big.pdf"));
    const bool wrapped = large.save(big) && writeImagePdf(big, bigPdf, &message);
    QPdfDocument capped;
    capped.load(bigPdf);
    const QSizeF cappedPage = wrapped && capped.pageCount() == 1 ? capped.pagePointSize(0) : QSizeF();
    // 3464 pixels at 96 dpi are 2598 points.
    say("capped_pt", wrapped ? sizeText(cappedPage.width(), cappedPage.height()) : message);
    pass = pass && cappedPage == QSizeF(2598, 2598);

    say("result", pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    return pass ? 0 : 1;
}
