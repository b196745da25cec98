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
            // Strokes before the first hit keep sharing their point lists.
            result = strokes.mid(0, i);
            changed = true;
        }
        result += replacement;
    }
    if (changed)
        *out = result;
    return changed;
}

namespace {

// One disc position of a sweep, in viewport pixels.
struct Disc
{
    QPointF centre;
    int page = -1;
};

// The strokes of one page that a sweep can reach. Only these are cut and
// written back, so the cost follows the strokes hit.
struct PageWork
{
    int page = -1;
    QRectF sheet;
    QVector<int> indices;              // indices into the page list
    QVector<QVector<Stroke>> current; // what each slot holds now
    QVector<bool> touched;            // slot was cut
    int total = 0;                    // stroke count of the page now
    bool changed = false;
};

// Closed-interval overlap, so a zero-size box (one disc) still counts.
bool touches(const QRectF &a, const QRectF &b)
{
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom()
        && b.top() <= a.bottom();
}

PageWork collect(const QVector<Stroke> &strokes, int page, const QRectF &sheet,
                 const QRectF &centres, double radius)
{
    constexpr double kMaxWidthFactor = 1.8;
    PageWork w;
    w.page = page;
    w.sheet = sheet;
    w.total = strokes.size();
    for (int i = 0; i < strokes.size(); ++i) {
        const Stroke &s = strokes.at(i);
        if (!s.bounds.isNull()) {
            const double m = sheet.width() * s.width * 0.5 * kMaxWidthFactor + radius;
            const QRectF reach(sheet.left() + s.bounds.left() * sheet.width() - m,
                               sheet.top() + s.bounds.top() * sheet.height() - m,
                               s.bounds.width() * sheet.width() + 2 * m,
                               s.bounds.height() * sheet.height() + 2 * m);
            if (!touches(reach, centres))
                continue;
        }
        w.indices.append(i);
        w.current.append(QVector<Stroke>{ s });
    }
    w.touched.fill(false, w.indices.size());
    return w;
}

// Cuts the reachable strokes by one disc; true when anything changed.
bool cutWork(PageWork *w, QPointF c, double radius)
{
    const QPointF frac((c.x() - w->sheet.left()) / w->sheet.width(),
                       (c.y() - w->sheet.top()) / w->sheet.height());
    bool changed = false;
    for (int k = 0; k < w->current.size(); ++k) {
        QVector<Stroke> &strokes = w->current[k];
        QVector<Stroke> out;
        if (!cutStrokes(strokes, frac, w->sheet.size(), radius, &out))
            continue;
        w->total += out.size() - strokes.size();
        strokes = out;
        w->touched[k] = true;
        changed = true;
    }
    return changed;
}

// Puts the cut slots back into the page list, last first so the indices of
// the earlier ones stay valid. Untouched strokes are not copied.
void writeBack(QVector<Stroke> *list, const PageWork &w)
{
    for (int k = w.indices.size() - 1; k >= 0; --k) {
        if (!w.touched.at(k))
            continue;
        const int i = w.indices.at(k);
        const QVector<Stroke> &now = w.current.at(k);
        if (now.isEmpty()) {
            list->remove(i);
            continue;
        }
        (*list)[i] = now.first();
        for (int j = 1; j < now.size(); ++j)
            list->insert(i + j, now.at(j));
    }
}

bool eraseDiscs(const EraseTarget &target, EraseGesture *gesture, const QVector<Disc> &discs,
                double radius)
{
    if (!target.ink || !gesture || !target.pageRect || !std::isfinite(radius))
        return false;
    const InkPages &ink = *target.ink;

    // Group the discs by page and pick each page's reachable strokes once.
    QVector<PageWork> work;
    QVector<int> workOf(discs.size(), -1);
    for (int i = 0; i < discs.size(); ++i) {
        const int page = discs.at(i).page;
        const auto found = std::find_if(work.cbegin(), work.cend(),
                                        [page](const PageWork &w) { return w.page == page; });
        if (found != work.cend()) {
            workOf[i] = int(found - work.cbegin());
            continue;
        }
        const auto it = ink.constFind(page);
        if (page < 0 || it == ink.cend() || it.value().isEmpty())
            continue;
        const QRectF sheet = target.pageRect(page);
        if (sheet.isEmpty() || !(sheet.width() > 0) || !(sheet.height() > 0))
            continue;
        // Box of the centres on this page (QRectF::united skips zero-size rects).
        QPointF lo = discs.at(i).centre;
        QPointF hi = lo;
        for (const Disc &d : discs) {
            if (d.page != page)
                continue;
            lo = QPointF(std::min(lo.x(), d.centre.x()), std::min(lo.y(), d.centre.y()));
            hi = QPointF(std::max(hi.x(), d.centre.x()), std::max(hi.y(), d.centre.y()));
        }
        const QRectF box(lo, hi);
        workOf[i] = work.size();
        work.append(collect(it.value(), page, sheet, box, radius));
    }

    bool any = false;
    QRectF dirty;
    QPointF last;
    for (int i = 0; i < discs.size(); ++i) {
        if (workOf[i] < 0)
            continue;
        PageWork &w = work[workOf[i]];
        const int before = w.total;
        if (!cutWork(&w, discs.at(i).centre, radius))
            continue;
        if (!gesture->changed) {
            if (target.beforeFirstChange)
                target.beforeFirstChange();
            gesture->changed = true;
        }
        w.changed = true;
        if (target.log) {
            target.log(QStringLiteral("cut page=%1 strokes %2 -> %3")
                           .arg(w.page)
                           .arg(before)
                           .arg(w.total));
        }
        const double pad = radius + 4;
        dirty = dirty.united(QRectF(discs.at(i).centre - QPointF(pad, pad), QSizeF(2 * pad, 2 * pad)));
        last = discs.at(i).centre;
        any = true;
    }
    if (!any)
        return false;

    // Written by key after the snapshot: an iterator taken before it would
    // write into the shared copy.
    // The page list detaches from the undo snapshot once per gesture; later
    // cuts change it in place.
    for (const PageWork &w : std::as_const(work)) {
        if (!w.changed)
            continue;
        if (w.total == 0) {
            target.ink->remove(w.page);
            continue;
        }
        writeBack(&(*target.ink)[w.page], w);
    }
    if (target.changed)
        target.changed(last, dirty);
    return true;
}

} // namespace

bool eraseAt(const EraseTarget &target, EraseGesture *gesture, int page, QPointF c, double radius)
{
    if (page < 0 || !finite(c))
        return false;
    return eraseDiscs(target, gesture, { Disc{ c, page } }, radius);
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
    QVector<Disc> discs;
    discs.reserve(n + 1);
    for (int i = 0; i <= n; ++i) {
        const QPointF q = start + run * (double(i) / n);
        int page = target.pageAt ? target.pageAt(q) : -1;
        if (page < 0)
            page = pageHint;
        if (page >= 0)
            discs.append(Disc{ q, page });
    }
    return eraseDiscs(target, gesture, discs, radius);
}

} // namespace InkErase
