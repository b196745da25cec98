#include "bench/benchimage.h"

#include "bench/benchutil.h"
#include "bench/procinfo.h"
#include "files/imageimport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

bool generatePhoto(const QString &file)
{
    constexpr int kWidth = 4000;
    constexpr int kHeight = 3000;
    constexpr int kNoise = 24;
    constexpr int kQuality = 90;
    QImage photo(kWidth, kHeight, QImage::Format_RGB32);
    QRandomGenerator random(20261208);
    for (int y = 0; y < kHeight; ++y) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int noise = int(random.bounded(kNoise)) - kNoise / 2;
            const auto channel = [noise](int base) { return std::clamp(base + noise, 0, 255); };
            line[x] = qRgb(channel(60 + 150 * x / kWidth), channel(90 + 120 * y / kHeight),
                           channel(200 - 120 * (x + y) / (kWidth + kHeight)));
        }
    }
    return photo.save(file, "JPEG", kQuality);
}

} // namespace

bool ensureBenchPhoto(const QString &file, double *madeMs)
{
    *madeMs = 0;
    if (QFileInfo::exists(file))
        return true;
    QElapsedTimer timer;
    timer.start();
    if (!generatePhoto(file)) {
        std::fprintf(stderr, "--bench-open: cannot write %s\n", file.toUtf8().constData());
        return false;
    }
    *madeMs = BenchUtil::msSince(timer);
    BenchUtil::printLine("generated_photo", file);
    return true;
}

bool wrapImageForBench(const QString &file, QString *pdfPath)
{
    const QSize size = QImageReader(file).size();
    BenchUtil::printLine("image_px", QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    BenchUtil::printLine("image_bytes", QString::number(QFileInfo(file).size()));
    QElapsedTimer timer;
    timer.start();
    // Processor time of every thread: the figure that survives a busy machine.
    const std::clock_t cpuStart = std::clock();
    QString error;
    if (!wrapImageAsPdf(file, pdfPath, &error)) {
        std::fprintf(stderr, "--bench-open: %s\n", error.toUtf8().constData());
        return false;
    }
    BenchUtil::printMs("image_wrap_ms", BenchUtil::msSince(timer));
    BenchUtil::printMs("image_wrap_cpu_ms", 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    BenchUtil::printLine("wrapper_bytes", QString::number(QFileInfo(*pdfPath).size()));
    BenchUtil::printMs("wrapper_vs_image", double(QFileInfo(*pdfPath).size()) / double(QFileInfo(file).size()), 3);
    BenchUtil::printLine("wrap_rss_peak_mb", QString::number(peakRssMb(), 'f', 1));
    return true;
}
