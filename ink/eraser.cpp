#include "ink/eraser.h"

#include <algorithm>
#include <cmath>

namespace InkErase {

namespace {

bool finite(QPointF p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

double dist2(QPointF a, QPointF b)
{
    const QPointF d = a - b;
    return d.x() * d.x() + d.y() * d.y();
}

// A run of a cut stroke, in page pixels, with its factors when the stroke
// carries parallel ones.
struct Piece
{
    QVector<QPointF> points;
    QVector<double> factors;
};

class StrokeCutter
{
public:
    StrokeCutter(const Stroke &s, QSizeF page, QPointF c, double m)
        : m_stroke(s), m_page(page), m_c(c), m_m2(m * m), m_hasFactors(s.hasFactors())
    {
    }

    // Fills the pieces that survive; returns false when the stroke is untouched.
    bool cut(QVector<Piece> *pieces)
    {
        const int n = m_stroke.points.size();
        QVector<QPointF> p(n);
        for (int i = 0; i < n; ++i) {
            const QPointF f = m_stroke.points.at(i);
            p[i] = QPointF(f.x() * m_page.width(), f.y() * m_page.height());
            if (!finite(p[i]))
                return false; // damaged imported data: never cut, never lost
        }
        m_pieces = pieces;
        if (outside(p[0]))
            add(p[0], factor(0));
        for (int i = 0; i + 1 < n; ++i) {
            const QPointF a = p[i];
            const QPointF b = p[i + 1];
            const QPointF d = b - a;
            const double dd = d.x() * d.x() + d.y() * d.y();
            double t0 = 1;
            double t1 = 0;
            if (dd > 1e-12) {
                const QPointF ac = a - m_c;
                const double bq = 2 * (ac.x() * d.x() + ac.y() * d.y());
                const double cq = ac.x() * ac.x() + ac.y() * ac.y() - m_m2;
                const double disc = bq * bq - 4 * dd * cq;
                if (disc >= 0) {
                    const double root = std::sqrt(disc);
                    t0 = std::max((-bq - root) / (2 * dd), 0.0);
                    t1 = std::min((-bq + root) / (2 * dd), 1.0);
                }
            }
            // An end that tests inside while the segment misses the disc lies
            // on its edge (a cut made by this same disc): treat it as touching
            // there, or the piece ending at that edge would be dropped.
            if (!(t0 <= t1) && (!outside(a) || !outside(b)))
                t0 = t1 = outside(a) ? 1.0 : 0.0;
            if (t0 <= t1) {
                if (outside(a) && t0 > 0) {
                    if (m_current.points.isEmpty())
                        add(a, factor(i));
                    add(a + t0 * d, lerpFactor(i, t0));
                }
                close();
                if (outside(b) && t1 < 1) {
                    add(a + t1 * d, lerpFactor(i, t1));
                    add(b, factor(i + 1));
                }
            } else {
                add(b, factor(i + 1));
            }
        }
        close();
        return !(pieces->size() == 1 && pieces->first().points.size() == n);
    }

private:
    bool outside(QPointF p) const { return dist2(p, m_c) > m_m2; }
    double factor(int i) const { return m_hasFactors ? m_stroke.widthFactors.at(i) : 1.0; }
    double lerpFactor(int i, double t) const
    {
        if (!m_hasFactors)
            return 1.0;
        const double f0 = m_stroke.widthFactors.at(i);
        return f0 + (m_stroke.widthFactors.at(i + 1) - f0) * t;
    }
    void add(QPointF p, double f)
    {
        m_current.points.append(p);
        if (m_hasFactors)
            m_current.factors.append(f);
    }
    void close()
    {
        if (m_current.points.size() >= 2)
            m_pieces->append(m_current);
        m_current = Piece();
    }

    const Stroke &m_stroke;
    QSizeF m_page;
    QPointF m_c;
    double m_m2;
    bool m_hasFactors;
    Piece m_current;
    QVector<Piece> *m_pieces = nullptr;
};

// Cuts one stroke; false when it stays as it is. Replacements go to *out.
bool cutOne(const Stroke &s, QPointF c, QSizeF page, double radius, QVector<Stroke> *out)
{
    constexpr double kMaxWidthFactor = 1.8;
    const double m = page.width() * s.width * 0.5 * kMaxWidthFactor + radius;
    if (!std::isfinite(m) || m <= 0 || s.points.isEmpty())
        return false;

    // Cached bounds (page fractions) grown by the hit radius: a stroke whose
    // box is out of reach is not looked at point by point.
    if (!s.bounds.isNull()) {
        const QRectF reach(s.bounds.left() * page.width() - m, s.bounds.top() * page.height() - m,
                           s.bounds.width() * page.width() + 2 * m,
                           s.bounds.height() * page.height() + 2 * m);
        if (!reach.contains(c))
            return false;
    }

    if (s.points.size() == 1) {
        const QPointF f = s.points.first();
        const QPointF p(f.x() * page.width(), f.y() * page.height());
        return finite(p) && dist2(p, c) <= m * m;
    }

    QVector<Piece> pieces;
    StrokeCutter cutter(s, page, c, m);
    if (!cutter.cut(&pieces))
        return false;
    for (const Piece &piece : std::as_const(pieces)) {
        Stroke n;
        n.color = s.color;
        n.width = s.width;
        n.points.reserve(piece.points.size());
        for (const QPointF &p : piece.points)
            n.points.append(QPointF(p.x() / page.width(), p.y() / page.height()));
        if (s.hasFactors() && piece.factors.size() == piece.points.size())
            n.widthFactors = piece.factors;
        n.updateBounds();
        out->append(n);
    }
    return true;
}

} // namespace

double snapRadius(double r)
{
    const double a = std::abs(r - kEraserSteps[0]);
    const double b = std::abs(r - kEraserSteps[1]);
    const double c = std::abs(r - kEraserSteps[2]);
    if (std::min(a, b) > c)
        return kEraserSteps[2];
    if (a > b)
        return kEraserSteps[1];
    return kEraserSteps[0];
}

double effectiveRadius(double palmRadius, double overrideRadius, double selected)
{
    if (palmRadius > 0)
        return palmRadius;
    if (overrideRadius > 0)
        return overrideRadius;
    return selected;
}

double fingerRadius(const QVector<double> &contactSizes, double selected)
{
    constexpr double kMinRadius = 14;
    constexpr double kMaxRadius = 88;
    if (contactSizes.isEmpty())
        return 0;
    double s = 0;
    for (double size : contactSizes) {
        if (!(size > 0) || !std::isfinite(size))
            return 0;
        s = std::max(s, size);
    }
    const double r = std::max(selected, s * 0.5 + 4);
    return std::max(std::min(r, kMaxRadius), kMinRadius);
}

bool cutStrokes(const QVector<Stroke> &strokes, QPointF centre, QSizeF pageSize, double radius,
                QVector<Stroke> *out)
{
    if (!out || strokes.isEmpty() || !(pageSize.width() > 0) || !(pageSize.height() > 0)
        || !finite(centre) || !std::isfinite(radius)) {
        return false;
    }
    const QPointF c(centre.x() * pageSize.width(), centre.y() * pageSize.height());
    QVector<Stroke> result;
    bool changed = false;
    for (int i = 0; i < strokes.size(); ++i) {
        QVector<Stroke> replacement;
        if (!cutOne(strokes.at(i), c, pageSize, radius, &replacement)) {
            if (changed)
                result.append(strokes.at(i));
            continue;
        }
        if (!changed) {
            // The untouched strokes before the first hit are shared, not copied.
            result = strokes.mid(0, i);
            changed = true;
        }
        result += replacement;
    }
    if (changed)
        *out = result;
    return changed;
}

bool eraseAt(const EraseTarget &target, EraseGesture *gesture, int page, QPointF c, double radius)
{
    if (!target.ink || !gesture || page < 0 || !target.pageRect)
        return false;
    const InkPages &ink = *target.ink;
    const auto it = ink.constFind(page);
    if (it == ink.cend() || it.value().isEmpty())
        return false;
    const QRectF sheet = target.pageRect(page);
    if (sheet.isEmpty() || !(sheet.width() > 0) || !(sheet.height() > 0))
        return false;

    const QVector<Stroke> &before = it.value();
    const QPointF frac((c.x() - sheet.left()) / sheet.width(), (c.y() - sheet.top()) / sheet.height());
    QVector<Stroke> after;
    if (!cutStrokes(before, frac, sheet.size(), radius, &after))
        return false;
    const int countBefore = before.size();

    if (!gesture->changed) {
        if (target.beforeFirstChange)
            target.beforeFirstChange();
        gesture->changed = true;
    }
    if (target.log) {
        target.log(QStringLiteral("cut page=%1 strokes %2 -> %3")
                       .arg(page)
                       .arg(countBefore)
                       .arg(after.size()));
    }
    // Written by key after the snapshot: an iterator taken before it would
    // write into the shared copy.
    if (after.isEmpty())
        target.ink->remove(page);
    else
        target.ink->insert(page, after);
    if (target.changed)
        target.changed(c, radius);
    return true;
}

bool sweepErase(const EraseTarget &target, EraseGesture *gesture, int pageHint, QPointF from,
                QPointF to, double radius)
{
    constexpr double kJumpGuard = 40;
    constexpr double kMinStep = 2;
    if (!finite(from) || !finite(to) || !std::isfinite(radius))
        return false;

    const QPointF path = to - from;
    const double dist = std::hypot(path.x(), path.y());
    QPointF start = from;
    if (dist > kJumpGuard)
        start = to - path / dist * kJumpGuard;
    if (target.log) {
        const auto f = [](double v) { return QString::number(v, 'f', 1); };
        target.log(QStringLiteral("sweep (%1,%2)->(%3,%4) dist=%5 r=%6 %7")
                       .arg(f(from.x()), f(from.y()), f(to.x()), f(to.y()), f(dist), f(radius),
                            dist > kJumpGuard ? QStringLiteral("JUMP") : QStringLiteral("ok")));
    }

    const double step = std::max(radius * 0.5, kMinStep);
    const QPointF run = to - start;
    const int n = std::max(1, int(std::ceil(std::hypot(run.x(), run.y()) / step)));
    bool any = false;
    for (int i = 0; i <= n; ++i) {
        const QPointF q = start + run * (double(i) / n);
        int page = target.pageAt ? target.pageAt(q) : -1;
        if (page < 0)
            page = pageHint;
        if (page >= 0)
            any = eraseAt(target, gesture, page, q, radius) || any;
    }
    return any;
}

} // namespace InkErase
