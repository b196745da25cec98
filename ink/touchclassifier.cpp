#include "ink/touchclassifier.h"

#include <QEventPoint>

#include <algorithm>
#include <cmath>

namespace TouchInput {

namespace {

constexpr double kMinPalmRadius = 14;
constexpr double kMaxPalmRadius = 132;

bool finite(QPointF p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// Whole pixels, halves away from zero, kept well inside int.
int roundPixels(double v)
{
    constexpr double kLimit = 1e9;
    return int(std::clamp(std::round(v), -kLimit, kLimit));
}

// A reported diameter, or 0 when it is missing or nonsense.
double usableSize(double s)
{
    return (std::isfinite(s) && s > 0) ? s : 0.0;
}

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

QPointF meanOf(const QVector<QPointF> &points, const QVector<int> &indices)
{
    if (indices.isEmpty())
        return QPointF();
    QPointF sum;
    for (int i : indices)
        sum += points.at(i);
    return sum / indices.size();
}

QVector<int> allIndices(int n)
{
    QVector<int> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = i;
    return v;
}

// Adds a finger size to the calibration ring; the reference is its median
// (the upper one for an even count).
void calibrate(PalmState &state, double size)
{
    state.ring[state.index] = size;
    state.index = (state.index + 1) % PalmState::kRingSize;
    state.count = std::min(state.count + 1, PalmState::kRingSize);
    std::array<double, PalmState::kRingSize> sorted = state.ring;
    std::sort(sorted.begin(), sorted.begin() + state.count);
    state.reference = sorted[state.count / 2];
    state.calibrated = true;
}

TouchClass write(QPointF at)
{
    TouchClass c;
    c.kind = TouchKind::Write;
    c.point = at;
    c.write = true;
    return c;
}

TouchClass idle()
{
    TouchClass c;
    c.kind = TouchKind::Write;
    return c;
}

TouchClass pinch()
{
    TouchClass c;
    c.kind = TouchKind::Pinch;
    return c;
}

TouchClass palm(double radius)
{
    TouchClass c;
    c.kind = TouchKind::Palm;
    c.radius = radius;
    return c;
}

// The smallest usable contact size of a frame, 0 when there is none.
double smallestSize(const QVector<double> &sizes)
{
    double e = 0;
    for (double s : sizes) {
        s = usableSize(s);
        if (s > 0 && (e == 0 || s < e))
            e = s;
    }
    return e;
}

// Size rule: decides from contact sizes when they are decisive; false means
// "fall through to the cluster rule". e is the frame's smallest size; before
// any calibration it stands in for the finger size.
bool classifyBySize(const QVector<QPointF> &points, const QVector<double> &sizes, double e,
                    PalmState &state, PalmSwitch palmSwitch, TouchClass *out)
{
    constexpr double kEnterFactor = 2.2;
    constexpr double kStayFactor = 1.6;
    constexpr int kEntryFrames = 2;

    const double reference = state.calibrated ? state.reference : e;
    const double threshold = reference * (state.active ? kStayFactor : kEnterFactor);
    QVector<int> palms;
    QVector<int> fingers;
    for (int i = 0; i < sizes.size(); ++i)
        (usableSize(sizes.at(i)) >= threshold ? palms : fingers).append(i);

    if (palms.isEmpty()) {
        state.reset();
        return false;
    }
    if (points.size() == 1 || fingers.size() >= 2)
        return false;
    if (fingers.size() == 1) {
        state.reset();
        *out = write(points.at(fingers.first()));
        return true;
    }
    // Palm contacts only, two or more.
    if (palmSwitch == PalmSwitch::Off) {
        state.reset();
        *out = idle();
        return true;
    }
    ++state.frames;
    if (state.frames < kEntryFrames) {
        *out = idle();
        return true;
    }
    state.active = true;
    double largest = 0;
    for (int i : palms)
        largest = std::max(largest, sizes.at(i));
    *out = palm(smoothPalmRadius(state, largest * 0.5 + 6, meanOf(points, palms)));
    return true;
}

TouchClass classifyByClusters(const QVector<QPointF> &points, PalmState &state,
                              PalmSwitch palmSwitch)
{
    constexpr int kHandContacts = 4;
    constexpr int kEntryFrames = 2;
    constexpr double kSpreadMargin = 18;

    const QVector<QVector<int>> clusters = clusterContacts(points);
    if (clusters.size() > 1) {
        state.reset();
        int hands = 0;
        bool othersSingle = true;
        QVector<int> singles;
        for (const QVector<int> &c : clusters) {
            if (c.size() > 3)
                ++hands;
            else if (c.size() == 1)
                singles.append(c.first());
            else
                othersSingle = false;
        }
        // A resting hand and one separate finger: the finger writes. With
        // two or more single contacts beside the hand there is no one place
        // to write (their midpoint is nobody's), nor a pair to pinch with.
        if (hands == 1 && othersSingle)
            return singles.size() == 1 ? write(points.at(singles.first())) : idle();
        return pinch();
    }

    const int n = points.size();
    const QPointF centre = meanOf(points, allIndices(n));
    if (n >= 2 && palmSwitch == PalmSwitch::On) {
        if (!state.active) {
            if (n < kHandContacts) {
                state.frames = 0;
                return idle();
            }
            ++state.frames;
            if (state.frames < kEntryFrames)
                return idle();
            state.active = true;
            state.radiusSet = false;
            state.centroidSet = false;
        }
        double spread = 0;
        for (const QPointF &p : points)
            spread = std::max(spread, distance(p, centre));
        return palm(smoothPalmRadius(state, spread + kSpreadMargin, centre));
    }
    state.reset();
    if (n >= 2)
        return n < kHandContacts ? pinch() : idle();
    return write(centre);
}

} // namespace

TouchContact contactFromEventPoint(const QEventPoint &point)
{
    TouchContact c;
    c.id = point.id();
    c.pos = point.position();
    c.ellipse = point.ellipseDiameters();
    switch (point.state()) {
    case QEventPoint::Pressed: c.state = ContactState::Pressed; break;
    case QEventPoint::Updated: c.state = ContactState::Moved; break;
    case QEventPoint::Released: c.state = ContactState::Released; break;
    default: c.state = ContactState::Stationary; break;
    }
    return c;
}

double contactSize(const TouchContact &contact)
{
    return std::max(usableSize(contact.ellipse.width()), usableSize(contact.ellipse.height()));
}

bool ActiveContacts::allSized() const
{
    if (sizes.isEmpty())
        return false;
    return std::all_of(sizes.cbegin(), sizes.cend(), [](double s) { return s > 0; });
}

QPointF ActiveContacts::mean() const
{
    return meanOf(points, allIndices(points.size()));
}

ActiveContacts activeContacts(const QVector<TouchContact> &contacts)
{
    ActiveContacts out;
    QVector<int> seen;
    for (const TouchContact &c : contacts) {
        if (c.state == ContactState::Released || !finite(c.pos) || seen.contains(c.id))
            continue;
        seen.append(c.id);
        out.points.append(c.pos);
        out.sizes.append(contactSize(c));
    }
    return out;
}

void PalmState::reset()
{
    frames = 0;
    active = false;
    radiusSet = false;
    centroidSet = false;
}

void PalmState::clearAll()
{
    *this = PalmState();
}

QVector<QVector<int>> clusterContacts(const QVector<QPointF> &points)
{
    constexpr double kLinkDistance = 72;
    const int n = points.size();
    QVector<int> owner(n, -1);
    QVector<QVector<int>> clusters;
    for (int seed = 0; seed < n; ++seed) {
        if (owner[seed] >= 0)
            continue;
        const int id = clusters.size();
        QVector<int> members{ seed };
        owner[seed] = id;
        for (int k = 0; k < members.size(); ++k) {
            const QPointF p = points.at(members.at(k));
            for (int j = 0; j < n; ++j) {
                if (owner[j] < 0 && distance(p, points.at(j)) <= kLinkDistance) {
                    owner[j] = id;
                    members.append(j);
                }
            }
        }
        std::sort(members.begin(), members.end());
        clusters.append(members);
    }
    return clusters;
}

TouchClass classifyTouch(const QVector<QPointF> &points, const QVector<double> &sizes,
                         PalmState &state, PalmSwitch palmSwitch)
{
    const bool sized = sizes.size() == points.size();
    if (!std::all_of(points.cbegin(), points.cend(), finite)) {
        // Never write or erase at a position that is not a number.
        QVector<QPointF> p;
        QVector<double> s;
        for (int i = 0; i < points.size(); ++i) {
            if (finite(points.at(i))) {
                p.append(points.at(i));
                if (sized)
                    s.append(sizes.at(i));
            }
        }
        return classifyTouch(p, s, state, palmSwitch);
    }
    if (points.isEmpty()) {
        state.reset();
        return TouchClass();
    }
    const double e = sized ? smallestSize(sizes) : 0.0;
    TouchClass c;
    if (e <= 0 || !classifyBySize(points, sizes, e, state, palmSwitch, &c))
        c = classifyByClusters(points, state, palmSwitch);
    // Only a writing frame teaches the finger size: a resting hand's
    // smallest contact would raise the reference until the hand passed
    // for fingers.
    constexpr double kCalibrationLimit = 2.2;
    if (c.write && e > 0 && (!state.calibrated || e <= kCalibrationLimit * state.reference))
        calibrate(state, e);
    return c;
}

double smoothPalmRadius(PalmState &state, double raw, QPointF centroid)
{
    constexpr double kCentroidFollow = 0.1;
    constexpr double kMinMove = 5;
    constexpr double kMaxStep = 14;
    constexpr double kRadiusFollow = 0.28;
    constexpr double kMinChange = 2.5;

    const double c = std::isfinite(raw) ? std::clamp(raw, kMinPalmRadius, kMaxPalmRadius)
                                        : kMinPalmRadius;
    double moved = 0;
    if (finite(centroid)) {
        if (!state.centroidSet) {
            state.centroid = centroid;
            state.centroidSet = true;
        } else {
            state.centroid += (centroid - state.centroid) * kCentroidFollow;
        }
        moved = distance(centroid, state.centroid);
    }
    if (!state.radiusSet) {
        state.radius = c;
        state.radiusSet = true;
    } else if (moved >= kMinMove) {
        const double step = std::clamp(c - state.radius, -kMaxStep, kMaxStep);
        const double candidate = state.radius + kRadiusFollow * step;
        if (std::abs(candidate - state.radius) >= kMinChange)
            state.radius = candidate;
    }
    state.radius = std::clamp(state.radius, kMinPalmRadius, kMaxPalmRadius);
    return state.radius;
}

bool palmLikeStart(const ActiveContacts &contacts, const PalmState &state)
{
    constexpr double kPalmFactor = 2.2;
    const int n = contacts.points.size();
    if (n >= 4)
        return true;
    if (n < 2 || !contacts.allSized() || !state.calibrated)
        return false;
    return std::all_of(contacts.sizes.cbegin(), contacts.sizes.cend(),
                       [&](double s) { return s >= kPalmFactor * state.reference; });
}

bool isFingerJump(QPointF from, QPointF to, qint64 elapsedMs)
{
    // A quick flick on a large board covers a few pixels per millisecond;
    // the floor lets through samples the system delivers in a batch.
    constexpr double kFloorPx = 96;
    constexpr double kPxPerMs = 4;
    constexpr qint64 kLongestGapMs = 1000;
    const double gap = double(std::clamp<qint64>(elapsedMs, 0, kLongestGapMs));
    return finite(from) && finite(to) && distance(from, to) > kFloorPx + kPxPerMs * gap;
}

void pinchBegin(PinchState &state, QPointF p0, QPointF p1)
{
    state = PinchState();
    state.active = true;
    state.p0 = p0;
    state.p1 = p1;
    state.anchor = (p0 + p1) / 2;
    state.midpointAverage = state.anchor;
    state.distanceAverage = distance(p0, p1);
}

PinchStep pinchUpdate(PinchState &state, QPointF p0, QPointF p1)
{
    constexpr double kAverageFollow = 0.08;
    constexpr double kStillDistance = 20;
    constexpr double kStillRatio = 0.02;
    constexpr double kStillMidpoint = 6;
    constexpr double kFollow = 0.35;
    constexpr double kPanThreshold = 3;
    constexpr double kMinSpan = 20;
    constexpr double kMinRatio = 0.6;
    constexpr double kMaxRatio = 1.7;
    constexpr double kDeadBand = 0.005;

    PinchStep step;
    if (!state.active || !finite(p0) || !finite(p1)) {
        if (finite(p0) && finite(p1))
            pinchBegin(state, p0, p1);
        step.anchor = state.anchor;
        return step;
    }

    const QPointF a = state.p0;
    const QPointF b = state.p1;
    state.p0 = p0;
    state.p1 = p1;
    const double d = distance(p0, p1);
    const QPointF m = (p0 + p1) / 2;
    state.distanceAverage += (d - state.distanceAverage) * kAverageFollow;
    state.midpointAverage += (m - state.midpointAverage) * kAverageFollow;

    // Resting fingers jitter; that noise must neither pan nor zoom.
    if (state.distanceAverage > kStillDistance
        && std::abs(d / state.distanceAverage - 1) < kStillRatio
        && distance(m, state.midpointAverage) < kStillMidpoint) {
        state.rawScale = state.smoothedScale = state.appliedScale = 1;
        state.panAccumulated = state.panSmoothed = state.panApplied = QPointF();
        state.anchor = m;
        step.anchor = m;
        return step;
    }

    state.panAccumulated += m - (a + b) / 2;
    state.panSmoothed += (state.panAccumulated - state.panSmoothed) * kFollow;
    const QPointF delta = state.panSmoothed - state.panApplied;
    if (std::abs(delta.x()) >= kPanThreshold || std::abs(delta.y()) >= kPanThreshold) {
        step.pan = QPoint(roundPixels(delta.x()), roundPixels(delta.y()));
        state.panApplied = state.panSmoothed;
    }

    state.anchor += (m - state.anchor) * kFollow;
    step.anchor = state.anchor;
    const double before = distance(a, b);
    if (before <= kMinSpan || d <= kMinSpan)
        return step;
    // A ghost contact far away moves the zoom at most this much per frame.
    const double ratio = std::clamp(d / before, kMinRatio, kMaxRatio);
    state.rawScale *= ratio;
    state.smoothedScale += (state.rawScale - state.smoothedScale) * kFollow;
    const double q = state.smoothedScale / state.appliedScale;
    if (!std::isfinite(q) || (q >= 1 - kDeadBand && q <= 1 + kDeadBand))
        return step;
    step.zoom = true;
    step.factor = q;
    return step;
}

void pinchZoomApplied(PinchState &state, double oldZoom, double newZoom)
{
    constexpr double kTolerance = 1e-9;
    if (!(oldZoom > 0) || !(newZoom > 0) || !(state.appliedScale > 0))
        return;
    const double asked = state.smoothedScale / state.appliedScale;
    const double reached = newZoom / oldZoom;
    state.appliedScale *= reached;
    // Held at a zoom limit: the fingers' scale restarts from what was reached,
    // or turning the pinch around would do nothing until the fingers had
    // undone all the spread made past the limit.
    if (std::abs(reached - asked) > kTolerance * asked)
        state.rawScale = state.smoothedScale = state.appliedScale;
}

void pinchEnd(PinchState &state)
{
    state = PinchState();
}

} // namespace TouchInput
