#include "ink/annotationjson.h"

#include <QJsonArray>
#include <QtMath>

namespace {

constexpr int kAnnotationVersion = 1;
constexpr double kDefaultImportWidth = 0.003;

// JSON text cannot carry NaN or infinity (Qt writes them as null), so such a
// value would silently change on the next save; it reads like a non-number.
bool finiteNumber(const QJsonValue &v, double *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!qIsFinite(d))
        return false;
    *out = d;
    return true;
}

bool isHexDigits(QStringView s)
{
    for (QChar c : s) {
        const char16_t u = c.unicode();
        const bool hex = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f')
            || (u >= u'A' && u <= u'F');
        if (!hex)
            return false;
    }
    return true;
}

// "#rgb", "#rrggbb", "#aarrggbb" or a named colour; anything else is red.
QColor colorFromJson(const QJsonValue &v)
{
    const QColor fallback(255, 0, 0);
    if (!v.isString())
        return fallback;
    const QString name = v.toString();
    if (name.startsWith(QLatin1Char('#'))) {
        const QStringView digits = QStringView(name).mid(1);
        const qsizetype n = digits.size();
        if ((n != 3 && n != 6 && n != 8) || !isHexDigits(digits))
            return fallback;
    }
    const QColor c = QColor::fromString(name);
    return c.isValid() ? c : fallback;
}

} // namespace

QJsonObject strokeToJson(const Stroke &stroke)
{
    QJsonObject o;
    o.insert(QStringLiteral("c"), stroke.color.name(QColor::HexRgb));
    o.insert(QStringLiteral("w"), stroke.width);
    QJsonArray p;
    for (const QPointF &pt : stroke.points) {
        p.append(pt.x());
        p.append(pt.y());
    }
    o.insert(QStringLiteral("p"), p);
    if (stroke.widthVaries()) {
        QJsonArray wf;
        for (double f : stroke.widthFactors)
            wf.append(f);
        o.insert(QStringLiteral("wf"), wf);
    }
    return o;
}

Stroke strokeFromJson(const QJsonValue &value)
{
    const QJsonObject o = value.toObject(); // non-objects give an empty one
    Stroke s;
    s.color = colorFromJson(o.value(QStringLiteral("c")));
    double w = kDefaultImportWidth;
    s.width = finiteNumber(o.value(QStringLiteral("w")), &w) ? w : kDefaultImportWidth;

    const QJsonArray p = o.value(QStringLiteral("p")).toArray();
    s.points.reserve(p.size() / 2);
    for (qsizetype i = 0; i + 1 < p.size(); i += 2) {
        double x = 0, y = 0;
        if (!finiteNumber(p.at(i), &x))
            x = 0;
        if (!finiteNumber(p.at(i + 1), &y))
            y = 0;
        s.points.append(QPointF(x, y));
    }

    const QJsonValue wfValue = o.value(QStringLiteral("wf"));
    if (wfValue.isArray()) {
        const QJsonArray wf = wfValue.toArray();
        if (wf.size() == s.points.size()) {
            s.widthFactors.reserve(wf.size());
            for (const QJsonValue &f : wf) {
                double d = 1;
                s.widthFactors.append(finiteNumber(f, &d) ? d : 1.0);
            }
        }
    }
    s.updateBounds();
    return s;
}

QJsonObject annotationsFromInk(const InkPages &ink)
{
    QJsonObject pages;
    for (auto it = ink.cbegin(); it != ink.cend(); ++it) {
        QJsonArray strokes;
        for (const Stroke &s : it.value())
            strokes.append(strokeToJson(s));
        pages.insert(QString::number(it.key()), strokes);
    }
    QJsonObject root;
    root.insert(QStringLiteral("version"), kAnnotationVersion);
    root.insert(QStringLiteral("pages"), pages);
    return root;
}

InkPages inkFromAnnotations(const QJsonObject &annotations)
{
    InkPages ink;
    const QJsonObject pages = annotations.value(QStringLiteral("pages")).toObject();
    for (auto it = pages.constBegin(); it != pages.constEnd(); ++it) {
        bool ok = false;
        const int page = it.key().toInt(&ok, 10);
        if (!ok || page < 0)
            continue;
        const QJsonArray list = it.value().toArray();
        QVector<Stroke> strokes;
        for (const QJsonValue &v : list) {
            Stroke s = strokeFromJson(v);
            if (!s.points.isEmpty())
                strokes.append(s);
        }
        // Keys such as "01" and "1" name the same page: the later one in
        // key order wins, but only if it produced strokes.
        if (!strokes.isEmpty())
            ink.insert(page, strokes);
    }
    return ink;
}
