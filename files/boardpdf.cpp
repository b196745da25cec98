// Board pages: the ruling of each kind as line segments, and the small PDF
// that carries them (catalog, page tree, one shared content stream, the
// pages). Colours stay light so the ruling never competes with the ink.
#include "files/boardpdf.h"

#include <QSaveFile>

#include <cmath>

namespace {

struct Palette
{
    QColor minor;   // most lines
    QColor major;   // every fifth graph line, the staff, outer boxes
    QColor accent;  // the English baseline, the graph axes
    QColor band;    // the pinyin middle band
};

Palette paletteFor(bool chalkboard)
{
    if (chalkboard)
        return { QColor(86, 126, 104), QColor(122, 160, 138), QColor(196, 214, 200), QColor(44, 84, 62) };
    return { QColor(214, 224, 234), QColor(176, 194, 214), QColor(226, 150, 150), QColor(244, 247, 251) };
}

void addLine(QList<BoardRule> *rules, double x1, double y1, double x2, double y2, const QColor &color,
             double width, bool dashed = false)
{
    rules->append(BoardRule{ QLineF(x1, y1, x2, y2), color, width, dashed });
}

// Rows of square character boxes, centred on the page.
void characterBoxes(QList<BoardRule> *rules, const QSizeF &size, const Palette &p, bool diagonals)
{
    constexpr double kBox = 96;
    constexpr double kRowGap = 24;
    constexpr double kMargin = 48;
    const int cols = int((size.width() - 2 * kMargin) / kBox);
    const int rows = int((size.height() - 2 * kMargin + kRowGap) / (kBox + kRowGap));
    const double left = (size.width() - cols * kBox) / 2;
    const double top = (size.height() - rows * kBox - (rows - 1) * kRowGap) / 2;
    for (int r = 0; r < rows; ++r) {
        const double y = top + r * (kBox + kRowGap);
        const double right = left + cols * kBox;
        addLine(rules, left, y, right, y, p.major, 1.0);
        addLine(rules, left, y + kBox, right, y + kBox, p.major, 1.0);
        addLine(rules, left, y + kBox / 2, right, y + kBox / 2, p.minor, 0.75, true);
        for (int c = 0; c <= cols; ++c)
            addLine(rules, left + c * kBox, y, left + c * kBox, y + kBox, p.major, 1.0);
        for (int c = 0; c < cols; ++c) {
            const double x = left + c * kBox;
            addLine(rules, x + kBox / 2, y, x + kBox / 2, y + kBox, p.minor, 0.75, true);
            if (diagonals) {
                addLine(rules, x, y, x + kBox, y + kBox, p.minor, 0.75, true);
                addLine(rules, x + kBox, y, x, y + kBox, p.minor, 0.75, true);
            }
        }
    }
}

// Groups of lineCount lines spacing apart, as many as fit.
void lineGroups(QList<BoardRule> *rules, const QSizeF &size, int lineCount, double spacing, double gap,
                const Palette &p, int accentLine)
{
    constexpr double kMargin = 56;
    const double groupHeight = (lineCount - 1) * spacing;
    const int groups = int((size.height() - 2 * kMargin + gap) / (groupHeight + gap));
    const double top = (size.height() - groups * groupHeight - (groups - 1) * gap) / 2;
    for (int g = 0; g < groups; ++g) {
        for (int i = 0; i < lineCount; ++i) {
            const double y = top + g * (groupHeight + gap) + i * spacing;
            const bool accent = i == accentLine;
            addLine(rules, kMargin, y, size.width() - kMargin, y, accent ? p.accent : p.major,
                    accent ? 1.0 : 0.85);
        }
    }
}

QByteArray num(double v)
{
    return QByteArray::number(std::round(v * 100) / 100, 'f', 2);
}

QByteArray rgb(const QColor &c)
{
    return num(c.redF()) + ' ' + num(c.greenF()) + ' ' + num(c.blueF());
}

} // namespace

QByteArray boardPageContent(const BoardStyle &style, const QSizeF &size)
{
    QByteArray s;
    // Points from the top left, as the rules are given.
    s += "q 1 0 0 -1 0 " + num(size.height()) + " cm\n";
    s += rgb(boardBackground(style.chalkboard)) + " rg 0 0 " + num(size.width()) + ' ' + num(size.height())
        + " re f\n";
    for (const QRectF &band : boardBands(style, size))
        s += rgb(paletteFor(style.chalkboard).band) + " rg " + num(band.x()) + ' ' + num(band.y()) + ' '
            + num(band.width()) + ' ' + num(band.height()) + " re f\n";
    s += "1 J\n";
    for (const BoardRule &rule : boardRules(style, size)) {
        s += rgb(rule.color) + " RG " + num(rule.width) + " w " + (rule.dashed ? "[4 4] 0 d " : "[] 0 d ");
        s += num(rule.line.x1()) + ' ' + num(rule.line.y1()) + " m " + num(rule.line.x2()) + ' '
            + num(rule.line.y2()) + " l S\n";
    }
    s += "Q\n";
    return s;
}

QList<BoardKind> boardKinds()
{
    return { BoardKind::Blank,  BoardKind::Grid,    BoardKind::Lines, BoardKind::Tianzige, BoardKind::Mizige,
             BoardKind::Pinyin, BoardKind::English, BoardKind::Staff, BoardKind::Graph };
}

QString boardKindKey(BoardKind kind)
{
    switch (kind) {
    case BoardKind::Blank: return QStringLiteral("blank");
    case BoardKind::Grid: return QStringLiteral("grid");
    case BoardKind::Lines: return QStringLiteral("lines");
    case BoardKind::Tianzige: return QStringLiteral("tianzige");
    case BoardKind::Mizige: return QStringLiteral("mizige");
    case BoardKind::Pinyin: return QStringLiteral("pinyin");
    case BoardKind::English: return QStringLiteral("english");
    case BoardKind::Staff: return QStringLiteral("staff");
    case BoardKind::Graph: return QStringLiteral("graph");
    }
    return QString();
}

QString boardKindLabel(BoardKind kind)
{
    switch (kind) {
    case BoardKind::Blank: return QStringLiteral("空白");
    case BoardKind::Grid: return QStringLiteral("方格");
    case BoardKind::Lines: return QStringLiteral("横线");
    case BoardKind::Tianzige: return QStringLiteral("田字格");
    case BoardKind::Mizige: return QStringLiteral("米字格");
    case BoardKind::Pinyin: return QStringLiteral("拼音四线格");
    case BoardKind::English: return QStringLiteral("英文四线三格");
    case BoardKind::Staff: return QStringLiteral("五线谱");
    case BoardKind::Graph: return QStringLiteral("坐标纸");
    }
    return QString();
}

bool boardKindFromName(const QString &name, BoardKind *kind)
{
    const QString wanted = name.trimmed();
    for (BoardKind k : boardKinds()) {
        const QString label = boardKindLabel(k);
        if (wanted.compare(boardKindKey(k), Qt::CaseInsensitive) == 0 || wanted == label
            || (label.endsWith(QChar(u'格')) && wanted == label.chopped(1))
            || (label.size() > 2 && wanted == label.left(2))) {
            *kind = k;
            return true;
        }
    }
    return false;
}

QString boardKindKeyList()
{
    QStringList keys;
    for (BoardKind k : boardKinds())
        keys.append(boardKindKey(k));
    return keys.join(QLatin1Char(' '));
}

QColor boardBackground(bool chalkboard)
{
    return chalkboard ? QColor(31, 69, 52) : QColor(Qt::white);
}

QColor boardFirstPenColor(bool chalkboard)
{
    return chalkboard ? QColor(Qt::white) : QColor(211, 47, 47);
}

QList<BoardRule> boardRules(const BoardStyle &style, const QSizeF &size)
{
    const Palette p = paletteFor(style.chalkboard);
    const double w = size.width();
    const double h = size.height();
    QList<BoardRule> rules;
    switch (style.kind) {
    case BoardKind::Blank:
        break;
    case BoardKind::Grid: {
        constexpr double kCell = 40;
        // Whole cells centred on the page; no line on its very edge.
        const double left = std::fmod(w, kCell) / 2;
        const double top = std::fmod(h, kCell) / 2;
        for (double x = left > 1 ? left : kCell; x < w - 1; x += kCell)
            addLine(&rules, x, 0, x, h, p.minor, 0.75);
        for (double y = top > 1 ? top : kCell; y < h - 1; y += kCell)
            addLine(&rules, 0, y, w, y, p.minor, 0.75);
        break;
    }
    case BoardKind::Lines:
        lineGroups(&rules, size, 1, 0, 48, p, -1);
        break;
    case BoardKind::Tianzige:
        characterBoxes(&rules, size, p, false);
        break;
    case BoardKind::Mizige:
        characterBoxes(&rules, size, p, true);
        break;
    case BoardKind::Pinyin:
        lineGroups(&rules, size, 4, 18, 40, p, -1);
        break;
    case BoardKind::English:
        lineGroups(&rules, size, 4, 18, 40, p, 2);
        break;
    case BoardKind::Staff:
        lineGroups(&rules, size, 5, 12, 56, p, -1);
        break;
    case BoardKind::Graph: {
        constexpr double kMinor = 20;
        constexpr int kMajorEvery = 5;
        const double cx = w / 2;
        const double cy = h / 2;
        // Lines about the centre, none on the page's very edge.
        for (int i = -int((cx - 1) / kMinor); i <= int((cx - 1) / kMinor); ++i) {
            const bool major = i % kMajorEvery == 0;
            addLine(&rules, cx + i * kMinor, 0, cx + i * kMinor, h, major ? p.major : p.minor, major ? 0.9 : 0.5);
        }
        for (int i = -int((cy - 1) / kMinor); i <= int((cy - 1) / kMinor); ++i) {
            const bool major = i % kMajorEvery == 0;
            addLine(&rules, 0, cy + i * kMinor, w, cy + i * kMinor, major ? p.major : p.minor, major ? 0.9 : 0.5);
        }
        // Axes with arrow heads at the right and the top.
        addLine(&rules, 8, cy, w - 8, cy, p.accent, 1.5);
        addLine(&rules, cx, h - 8, cx, 8, p.accent, 1.5);
        addLine(&rules, w - 8, cy, w - 20, cy - 6, p.accent, 1.5);
        addLine(&rules, w - 8, cy, w - 20, cy + 6, p.accent, 1.5);
        addLine(&rules, cx, 8, cx - 6, 20, p.accent, 1.5);
        addLine(&rules, cx, 8, cx + 6, 20, p.accent, 1.5);
        break;
    }
    }
    return rules;
}

QList<QRectF> boardBands(const BoardStyle &style, const QSizeF &size)
{
    QList<QRectF> bands;
    if (style.kind != BoardKind::Pinyin)
        return bands;
    // The middle band of each four-line group holds the letters' bodies.
    const QList<BoardRule> rules = boardRules(style, size);
    for (qsizetype i = 0; i + 3 < rules.size(); i += 4) {
        const QLineF second = rules.at(i + 1).line;
        const QLineF third = rules.at(i + 2).line;
        bands.append(QRectF(second.x1(), second.y1(), second.x2() - second.x1(), third.y1() - second.y1()));
    }
    return bands;
}

QByteArray boardPdfBytes(const BoardStyle &style, const QSizeF &size, int pages)
{
    pages = std::max(pages, 1);
    const QByteArray content = boardPageContent(style, size);
    QByteArray pdf("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    QList<qsizetype> offsets;
    const auto object = [&](int number, const QByteArray &body) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    QByteArray kids;
    for (int k = 0; k < pages; ++k)
        kids += QByteArray::number(4 + k) + " 0 R ";
    object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    object(3, "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream");
    const QByteArray box = "[0 0 " + num(size.width()) + ' ' + num(size.height()) + ']';
    for (int k = 0; k < pages; ++k)
        object(4 + k, "<< /Type /Page /Parent 2 0 R /MediaBox " + box + " /Resources << >> /Contents 3 0 R >>");
    const qsizetype xref = pdf.size();
    const int entries = 4 + pages;
    pdf += "xref\n0 " + QByteArray::number(entries) + "\n0000000000 65535 f \n";
    for (qsizetype offset : std::as_const(offsets))
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(entries) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

bool writeBoardPdf(const QString &path, const BoardStyle &style, int pages, QString *error)
{
    const QByteArray bytes = boardPdfBytes(style, boardPageSize(), pages);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("无法写入白板文件 %1：%2").arg(path, file.errorString());
        return false;
    }
    return true;
}
