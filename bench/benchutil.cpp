#include "bench/benchutil.h"

#include <QElapsedTimer>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace BenchUtil {

void printLine(const char *key, const QString &value)
{
    std::printf("%s=%s\n", key, value.toUtf8().constData());
    std::fflush(stdout);
}

void printMs(const char *key, double ms, int decimals)
{
    printLine(key, QString::number(ms, 'f', decimals));
}

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int rank = std::clamp(int(std::ceil(p * values.size())) - 1, 0, int(values.size()) - 1);
    return values.at(rank);
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

bool writeLessonPdf(const QString &path, int pages, int bodyLines)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    QFont big;
    big.setPixelSize(96);
    QFont body;
    body.setPixelSize(11);
    const double spacing = qMin(16.0, 480.0 / qMax(1, bodyLines));
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            writer.newPage();
        painter.setFont(big);
        painter.drawText(QRectF(0, 0, 595, 320), Qt::AlignCenter, QString::number(i + 1));
        painter.setFont(body);
        for (int line = 0; line < bodyLines; ++line)
            painter.drawText(QPointF(60, 350 + line * spacing),
                             QStringLiteral("第 %1 页 · 第 %2 行：The quick brown fox jumps over the lazy dog; "
                                            "同学们请注意本题的解题思路与步骤。")
                                 .arg(i + 1)
                                 .arg(line + 1));
    }
    return painter.end();
}

} // namespace BenchUtil
