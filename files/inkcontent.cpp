// Ink as content-stream operators, and the visible page in user space.
#include "files/inkcontent.h"

#include <cmath>

namespace {

// Tenths of a point are a fifth of a pixel at 150 dpi: finer than the
// antialiasing shows, and short in the file.
constexpr double kScale = 10.0;
// The size of the page viewers assume when a media box is missing.
constexpr double kLetterWidth = 612;
constexpr double kLetterHeight = 792;

// Writes v with at most one decimal. Coordinates are written by the
// million, so this avoids the general formatter.
void putNumber(QByteArray &out, double v)
{
    if (!std::isfinite(v))
        v = 0;
    long long n = std::llround(v * kScale);
    if (n < 0) {
        out += '-';
        n = -n;
    }
    char digits[24];
    int len = 0;
    long long whole = n / 10;
    const int tenths = int(n % 10);
    do {
        digits[len++] = char('0' + whole % 10);
        whole /= 10;
    } while (whole > 0);
    while (len > 0)
        out += digits[--len];
    if (tenths != 0) {
        out += '.';
        out += char('0' + tenths);
    }
}

void putNumbers(QByteArray &out, std::initializer_list<double> values, const char *op)
{
    for (double v : values) {
        putNumber(out, v);
        out += ' ';
    }
    out += op;
    out += '\n';
}

// Colour components in 0..1 with three decimals: 8-bit colour survives exactly.
void putColor(QByteArray &out, const QColor &color, const char *op)
{
    const QColor rgb = color.toRgb();
    for (int c : {rgb.red(), rgb.green(), rgb.blue()}) {
        out += QByteArray::number(c / 255.0, 'f', 3);
        out += ' ';
    }
    out += op;
    out += '\n';
}

void putPath(QByteArray &out, const QPainterPath &path)
{
    const int n = path.elementCount();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            putNumbers(out, {e.x, e.y}, "m");
            break;
        case QPainterPath::LineToElement:
            putNumbers(out, {e.x, e.y}, "l");
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 < n) {
                const QPainterPath::Element c2 = path.elementAt(i + 1);
                const QPainterPath::Element end = path.elementAt(i + 2);
                putNumbers(out, {e.x, e.y, c2.x, c2.y, end.x, end.y}, "c");
                i += 2;
            }
            break;
        case QPainterPath::CurveToDataElement:
            break; // consumed with its curve
        }
    }
}

} // namespace

PageFrame pageFrame(int rotate, const QRectF &mediaBox, const QRectF &cropBox)
{
    QRectF media = mediaBox.normalized();
    if (media.isEmpty())
        media = QRectF(0, 0, kLetterWidth, kLetterHeight);
    QRectF box = cropBox.normalized();
    box = box.isEmpty() ? media : box.intersected(media);
    // QRectF's top is the box's lowest y here: user space grows upwards.
    const double l = box.left(), b = box.top(), r = box.right(), t = box.bottom();
    int quarter = (rotate / 90) % 4;
    if (quarter < 0)
        quarter += 4;

    PageFrame frame;
    const bool sideways = quarter % 2 == 1;
    frame.shown = sideways ? QSizeF(box.height(), box.width()) : box.size();
    // Visible (x, y) with y down, to user space: the inverse of the viewer's
    // page matrix followed by the flip of its y axis.
    switch (quarter) {
    case 0:
        frame.toUser = QTransform(1, 0, 0, -1, l, t);
        break;
    case 1:
        frame.toUser = QTransform(0, 1, 1, 0, l, b);
        break;
    case 2:
        frame.toUser = QTransform(-1, 0, 0, 1, r, b);
        break;
    default:
        frame.toUser = QTransform(0, -1, -1, 0, r, t);
        break;
    }
    return frame;
}

QByteArray wrapOpening(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "q\n";
    return out;
}

QByteArray wrapClosing(int count)
{
    // The line break first: the original may end in a comment.
    QByteArray out("\n");
    for (int i = 0; i < count; ++i)
        out += "Q\n";
    return out;
}

QByteArray inkContentStream(const QList<InkMark> &marks, const PageFrame &frame,
                            const QMap<int, QByteArray> &alphaStates)
{
    QByteArray out;
    out.reserve(4096);
    out += '\n';
    out += "q\n";
    const QTransform &m = frame.toUser;
    out += QByteArray::number(m.m11(), 'g', 10) + ' ' + QByteArray::number(m.m12(), 'g', 10) + ' '
        + QByteArray::number(m.m21(), 'g', 10) + ' ' + QByteArray::number(m.m22(), 'g', 10) + ' '
        + QByteArray::number(m.dx(), 'g', 10) + ' ' + QByteArray::number(m.dy(), 'g', 10) + " cm\n";
    // Ink is paper-bound, as on the canvas.
    putNumbers(out, {0, 0, frame.shown.width(), frame.shown.height()}, "re");
    out += "W n\n1 J 1 j\n";
    for (const InkMark &mark : marks) {
        if (mark.path.isEmpty())
            continue;
        const int alpha = mark.color.alpha();
        const bool translucent = alpha < 255 && alphaStates.contains(alpha);
        if (translucent)
            out += "q\n/" + alphaStates.value(alpha) + " gs\n";
        if (mark.kind == InkMark::Kind::Fill) {
            putColor(out, mark.color, "rg");
            putPath(out, mark.path);
            out += "f\n";
        } else {
            putColor(out, mark.color, "RG");
            putNumbers(out, {mark.lineWidth}, "w");
            putPath(out, mark.path);
            out += "S\n";
        }
        if (translucent)
            out += "Q\n";
    }
    out += "Q\n";
    return out;
}
