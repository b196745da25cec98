// Draws the bundled sample lesson: a few A4 pages of Chinese classroom
// material with text, a table, a diagram and blank writing space, so a
// fresh checkout has something real to open and write on.
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace {

constexpr double kPageW = 595;
constexpr double kPageH = 842;
constexpr double kMargin = 56;

QFont fontOf(double px, int weight = QFont::Normal)
{
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(int(px));
    f.setWeight(QFont::Weight(weight));
    return f;
}

void header(QPainter &p, const QString &title, int pageNo)
{
    p.setPen(QColor(0x1f, 0x5f, 0x4a));
    p.setFont(fontOf(12));
    p.drawText(QRectF(kMargin, 24, kPageW - 2 * kMargin, 16), Qt::AlignLeft,
               QStringLiteral("青简批注 · 示例课件"));
    p.drawText(QRectF(kMargin, 24, kPageW - 2 * kMargin, 16), Qt::AlignRight,
               QStringLiteral("第 %1 页").arg(pageNo));
    p.drawLine(QPointF(kMargin, 44), QPointF(kPageW - kMargin, 44));
    p.setPen(Qt::black);
    p.setFont(fontOf(24, QFont::Bold));
    p.drawText(QRectF(kMargin, 60, kPageW - 2 * kMargin, 36), Qt::AlignLeft, title);
}

double paragraph(QPainter &p, double y, const QString &text, double px = 14)
{
    p.setFont(fontOf(px));
    const QRectF box(kMargin, y, kPageW - 2 * kMargin, kPageH - y - kMargin);
    QRectF used;
    p.drawText(box, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text, &used);
    return used.bottom() + px * 0.8;
}

void writingLines(QPainter &p, double top, double bottom)
{
    p.setPen(QPen(QColor(0xbb, 0xcc, 0xdd), 0.8, Qt::DashLine));
    for (double y = top; y < bottom; y += 28)
        p.drawLine(QPointF(kMargin, y), QPointF(kPageW - kMargin, y));
    p.setPen(Qt::black);
}

void pagePoem(QPainter &p)
{
    header(p, QStringLiteral("古诗赏读：《静夜思》"), 1);
    p.setFont(fontOf(30));
    const QStringList lines = { QStringLiteral("床前明月光，"), QStringLiteral("疑是地上霜。"),
                                QStringLiteral("举头望明月，"), QStringLiteral("低头思故乡。") };
    double y = 130;
    for (const QString &line : lines) {
        p.drawText(QRectF(0, y, kPageW, 44), Qt::AlignHCenter, line);
        y += 52;
    }
    p.setFont(fontOf(14));
    p.drawText(QRectF(0, y, kPageW, 20), Qt::AlignHCenter, QStringLiteral("—— 唐 · 李白"));
    y += 50;
    y = paragraph(p, y, QStringLiteral("【思考】诗人在什么时间、什么地点写下这首诗？请圈出表示时间和动作的词语，"
                                       "并说一说“举头”和“低头”之间，诗人的心情发生了怎样的变化。"));
    writingLines(p, y + 10, kPageH - kMargin);
}

void pageMath(QPainter &p)
{
    header(p, QStringLiteral("数学练习：分数的加减"), 2);
    const QStringList items = {
        QStringLiteral("1.  1/2 + 1/3 = ______"), QStringLiteral("2.  3/4 − 1/8 = ______"),
        QStringLiteral("3.  2/5 + 3/10 = ______"), QStringLiteral("4.  5/6 − 1/4 = ______"),
    };
    p.setFont(fontOf(18));
    double y = 120;
    for (const QString &item : items) {
        p.drawText(QRectF(kMargin, y, kPageW, 24), Qt::AlignLeft, item);
        y += 70;
    }
    // A fraction bar diagram to annotate.
    const double barW = kPageW - 2 * kMargin;
    for (int row = 0; row < 3; ++row) {
        const int parts = row == 0 ? 2 : (row == 1 ? 3 : 6);
        const double top = y + row * 46;
        for (int i = 0; i < parts; ++i) {
            const QRectF cell(kMargin + i * barW / parts, top, barW / parts, 34);
            p.fillRect(cell, i == 0 ? QColor(0xd8, 0xec, 0xe4) : Qt::white);
            p.drawRect(cell);
        }
    }
    y += 3 * 46 + 20;
    y = paragraph(p, y, QStringLiteral("【提示】先通分，再相加减。用上面的分数条画一画，验证你的答案。"));
    writingLines(p, y + 10, kPageH - kMargin);
}

void pageScience(QPainter &p)
{
    header(p, QStringLiteral("科学观察：植物的一生"), 3);
    double y = paragraph(p, 110, QStringLiteral("种子在适宜的温度、水分和空气条件下萌发，长出根、茎、叶，"
                                                "再开花、结果，产生新的种子。请在下图中标出各个阶段的名称。"));
    const QStringList stages = { QStringLiteral("种子"), QStringLiteral("发芽"), QStringLiteral("幼苗"),
                                 QStringLiteral("开花"), QStringLiteral("结果") };
    const double cx = kPageW / 2, cy = y + 170, r = 130;
    p.setPen(QPen(QColor(0x2e, 0x7d, 0x32), 2));
    p.drawEllipse(QPointF(cx, cy), r, r);
    p.setFont(fontOf(16));
    for (int i = 0; i < stages.size(); ++i) {
        const double a = -M_PI / 2 + i * 2 * M_PI / stages.size();
        const QPointF c(cx + r * std::cos(a), cy + r * std::sin(a));
        p.setBrush(QColor(0xe8, 0xf5, 0xe9));
        p.drawEllipse(c, 34, 34);
        p.setPen(Qt::black);
        p.drawText(QRectF(c.x() - 34, c.y() - 12, 68, 24), Qt::AlignCenter, stages.at(i));
        p.setPen(QPen(QColor(0x2e, 0x7d, 0x32), 2));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(Qt::black);
    writingLines(p, cy + r + 60, kPageH - kMargin);
}

void pageTable(QPainter &p)
{
    header(p, QStringLiteral("课堂记录表"), 4);
    const QStringList cols = { QStringLiteral("小组"), QStringLiteral("观察内容"), QStringLiteral("结论"),
                               QStringLiteral("评分") };
    const double widths[] = { 70, 190, 150, 73 };
    double y = 120;
    p.setFont(fontOf(14, QFont::Bold));
    for (int row = 0; row < 12; ++row) {
        double x = kMargin;
        for (int c = 0; c < cols.size(); ++c) {
            const QRectF cell(x, y, widths[c], 44);
            if (row == 0)
                p.fillRect(cell, QColor(0xee, 0xf3, 0xf8));
            p.drawRect(cell);
            if (row == 0)
                p.drawText(cell, Qt::AlignCenter, cols.at(c));
            else if (c == 0)
                p.drawText(cell, Qt::AlignCenter, QStringLiteral("第%1组").arg(row));
            x += widths[c];
        }
        if (row == 0)
            p.setFont(fontOf(13));
        y += 44;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sample_lesson OUTPUT.pdf\n");
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(QFileInfo(out).absolutePath());
    QPdfWriter writer(out);
    writer.setResolution(72);
    writer.setTitle(QStringLiteral("示例课件"));
    writer.setCreator(QStringLiteral("Lectern"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    QPainter p;
    if (!p.begin(&writer))
        return 1;
    p.setRenderHint(QPainter::Antialiasing);
    pagePoem(p);
    writer.newPage();
    pageMath(p);
    writer.newPage();
    pageScience(p);
    writer.newPage();
    pageTable(p);
    return p.end() ? 0 : 1;
}
