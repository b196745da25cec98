#include "probe/touchprobe.h"

#include <QEventPoint>
#include <QTabletEvent>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace TouchInput;

namespace TouchProbe {

namespace {

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

bool samePoint(QPointF a, QPointF b)
{
    constexpr double kEpsilon = 1e-6;
    return distance(a, b) < kEpsilon;
}

// A jump is judged by the nearest contact that was down in both frames: a
// span that changes within the pinch filter's per-frame limits is a quick
// pinch or pan; beyond them the filter would clamp it, and no hand did it.
bool jumpBeyondPinchLimits(const QHash<int, QPointF> &previous, const QVector<Spot> &current,
                           const Spot &spot, QPointF before)
{
    // The pinch filter's per-frame scale limits.
    constexpr double kMinSpanRatio = 0.6;
    constexpr double kMaxSpanRatio = 1.7;

    double nearest = std::numeric_limits<double>::infinity();
    double spanNow = 0;
    for (const Spot &other : current) {
        const auto was = previous.constFind(other.id);
        if (other.id == spot.id || was == previous.constEnd())
            continue;
        const double d = distance(*was, before);
        if (d < nearest) {
            nearest = d;
            spanNow = distance(other.pos, spot.pos);
        }
    }
    if (!std::isfinite(nearest))
        return true; // alone: nothing moved with it
    if (nearest <= 0)
        return true;
    const double ratio = spanNow / nearest;
    return ratio < kMinSpanRatio || ratio > kMaxSpanRatio;
}

} // namespace

ProbePoint probePointFromEventPoint(const QEventPoint &point)
{
    ProbePoint p;
    p.contact = contactFromEventPoint(point);
    p.rotation = point.rotation();
    p.pressure = point.pressure();
    return p;
}

bool apart(QPointF a, QPointF b)
{
    return clusterContacts({ a, b }).size() > 1;
}

QVector<ContactRole> contactRoles(const TouchClass &touchClass, const QVector<QPointF> &active)
{
    QVector<ContactRole> roles(active.size(), ContactRole::Resting);
    switch (touchClass.kind) {
    case TouchKind::None:
        roles.fill(ContactRole::Ignored);
        break;
    case TouchKind::Pinch:
        // The canvas pinches with the first two contacts and ignores the rest.
        for (int i = 0; i < roles.size(); ++i)
            roles[i] = i < 2 ? ContactRole::Pinch : ContactRole::Ignored;
        break;
    case TouchKind::Palm:
        roles.fill(ContactRole::Palm);
        break;
    case TouchKind::Write:
        // The point may be a mean of several fingers and then lies on none.
        if (touchClass.write) {
            for (int i = 0; i < active.size(); ++i) {
                if (samePoint(active.at(i), touchClass.point))
                    roles[i] = ContactRole::Writing;
            }
        }
        break;
    }
    return roles;
}

QHash<int, GhostReason> findGhosts(const QHash<int, QPointF> &previous,
                                   const QHash<int, QPointF> &landed, const QVector<Spot> &current)
{
    QHash<int, GhostReason> ghosts;
    for (const Spot &spot : current) {
        const auto was = previous.constFind(spot.id);
        if (was != previous.constEnd()) {
            if (apart(*was, spot.pos) && jumpBeyondPinchLimits(previous, current, spot, *was))
                ghosts.insert(spot.id, GhostReason::Jump);
            continue;
        }
        // Landed in this frame: a stray when it is apart from every contact
        // already down while one of those is drawing a stroke. A second
        // finger beside a resting one or a resting hand is a pinch or a
        // writing finger, and stays unflagged.
        bool alone = true;
        bool stroking = false;
        bool othersDown = false;
        for (const Spot &other : current) {
            if (other.id == spot.id || !previous.contains(other.id))
                continue;
            othersDown = true;
            alone = alone && apart(other.pos, spot.pos);
            stroking = stroking || apart(landed.value(other.id, other.pos), other.pos);
        }
        if (othersDown && alone && stroking)
            ghosts.insert(spot.id, GhostReason::Stray);
    }
    return ghosts;
}

void setPalmSwitch(TouchState &state, PalmSwitch palmSwitch)
{
    if (state.palmSwitch == palmSwitch)
        return;
    state.palmSwitch = palmSwitch;
    state.palm.reset();
}

FrameView touchFrame(TouchState &state, QEvent::Type type, const QVector<ProbePoint> &points,
                     quint64 timestamp)
{
    const bool begin = type == QEvent::TouchBegin;
    const bool end = type == QEvent::TouchEnd;
    const bool cancel = type == QEvent::TouchCancel;

    FrameView frame;
    frame.type = type;
    frame.timestamp = timestamp;

    QVector<TouchContact> contacts;
    contacts.reserve(points.size());
    for (const ProbePoint &p : points)
        contacts.append(p.contact);
    const ActiveContacts active = activeContacts(contacts);

    // Which points the classifier counts, found with its own filter on
    // growing prefixes of the frame, so the labels line up with its list.
    QVector<int> activeIndex(points.size(), -1);
    QVector<Spot> current;
    for (int k = 0, counted = 0; k < contacts.size(); ++k) {
        const int n = int(activeContacts(contacts.mid(0, k + 1)).points.size());
        if (n > counted) {
            activeIndex[k] = counted;
            counted = n;
            current.append({ contacts.at(k).id, contacts.at(k).pos });
        }
    }
    frame.activeCount = int(active.points.size());

    if (begin) {
        state.previous.clear();
        state.landed.clear();
        state.ghosts.clear();
        state.palmLikeStart = palmLikeStart(active, state.palm);
    }
    frame.palmLikeStart = state.palmLikeStart;

    for (const Spot &spot : current) {
        if (!state.landed.contains(spot.id))
            state.landed.insert(spot.id, spot.pos);
    }
    const QHash<int, GhostReason> fresh = findGhosts(state.previous, state.landed, current);
    for (auto it = fresh.constBegin(); it != fresh.constEnd(); ++it) {
        if (!state.ghosts.contains(it.key())) {
            state.ghosts.insert(it.key(), it.value());
            ++state.ghostCount;
        }
    }

    QVector<ContactRole> roles(active.points.size(), ContactRole::Ignored);
    if (cancel) {
        // The canvas forgets the whole detector, calibration included.
        state.palm.clearAll();
        pinchEnd(state.pinch);
        state.palmLikeStart = false;
    } else {
        const TouchClass c = classifyTouch(active.points, active.sizes, state.palm,
                                           state.palmSwitch);
        frame.touchClass = c;
        frame.clusters = int(clusterContacts(active.points).size());
        frame.palmCentre = active.mean();
        roles = contactRoles(c, active.points);
        if (c.kind == TouchKind::Pinch) {
            const QPointF a = active.points.at(0);
            const QPointF b = active.points.at(1);
            if (state.pinch.active) {
                const PinchStep step = pinchUpdate(state.pinch, a, b);
                state.pinchPan += step.pan;
                if (step.zoom) {
                    const double before = state.pinchZoom;
                    state.pinchZoom *= step.factor;
                    pinchZoomApplied(state.pinch, before, state.pinchZoom);
                }
            } else {
                pinchBegin(state.pinch, a, b);
                state.pinchZoom = 1;
                state.pinchPan = QPoint();
            }
        } else if (state.pinch.active && (active.points.size() < 2 || end)) {
            pinchEnd(state.pinch);
        }
    }
    if (end)
        pinchEnd(state.pinch);
    frame.pinching = state.pinch.active;
    frame.pinchZoom = state.pinchZoom;
    frame.pinchPan = state.pinchPan;

    frame.contacts.reserve(points.size());
    for (int k = 0; k < points.size(); ++k) {
        ContactView view;
        view.point = points.at(k);
        view.size = contactSize(points.at(k).contact);
        view.active = activeIndex.at(k) >= 0;
        if (view.active) {
            view.role = roles.value(activeIndex.at(k), ContactRole::Ignored);
            view.ghost = state.ghosts.value(points.at(k).contact.id, GhostReason::None);
        }
        frame.contacts.append(view);
    }

    // Lifted contacts take their landing spot and ghost flag with them.
    state.previous.clear();
    if (!end && !cancel) {
        for (const Spot &spot : current)
            state.previous.insert(spot.id, spot.pos);
    }
    for (auto it = state.landed.begin(); it != state.landed.end();) {
        if (state.previous.contains(it.key())) {
            ++it;
        } else {
            state.ghosts.remove(it.key());
            it = state.landed.erase(it);
        }
    }
    state.last = frame;
    return frame;
}

PenSample penSampleFromEvent(const QTabletEvent &event)
{
    PenSample s;
    s.pos = event.position();
    s.pressure = event.pressure();
    s.xTilt = event.xTilt();
    s.yTilt = event.yTilt();
    s.rotation = event.rotation();
    s.pointer = event.pointerType();
    if (const QPointingDevice *device = event.pointingDevice())
        s.deviceName = device->name();
    s.timestamp = event.timestamp();
    s.type = event.type();
    switch (event.type()) {
    case QEvent::TabletPress: s.phase = PenPhase::Press; break;
    case QEvent::TabletRelease: s.phase = PenPhase::Release; break;
    case QEvent::TabletEnterProximity: s.phase = PenPhase::Near; break;
    case QEvent::TabletLeaveProximity: s.phase = PenPhase::Away; break;
    default: s.phase = event.buttons() == Qt::NoButton ? PenPhase::Hover : PenPhase::Move; break;
    }
    return s;
}

bool isEraser(const PenSample &sample)
{
    return sample.pointer == QPointingDevice::PointerType::Eraser;
}

void PenTrail::add(const PenSample &sample)
{
    // Proximity events carry no position worth drawing.
    if (sample.phase == PenPhase::Near || sample.phase == PenPhase::Away)
        return;
    samples.append(sample);
    if (samples.size() > kLength)
        samples.remove(0, samples.size() - kLength);
}

QString LogThrottle::offer(qint64 nowMs, const QString &line, bool notable)
{
    if (m_wrote && nowMs - m_lastWrite < kGapMs) {
        if (m_waiting.isEmpty()) {
            m_waiting = line;
            m_waitingNotable = notable;
            return QString();
        }
        ++m_merged;
        if (notable || !m_waitingNotable) {
            m_waiting = line;
            m_waitingNotable = notable;
        }
        return QString();
    }
    QString chosen = line;
    if (!m_waiting.isEmpty()) {
        ++m_merged;
        if (m_waitingNotable && !notable)
            chosen = m_waiting;
        m_waiting.clear();
        m_waitingNotable = false;
    }
    m_lastWrite = nowMs;
    m_wrote = true;
    return withMerged(chosen);
}

QString LogThrottle::flush(qint64 nowMs)
{
    if (m_waiting.isEmpty() || (m_wrote && nowMs - m_lastWrite < kGapMs))
        return QString();
    const QString line = withMerged(m_waiting);
    m_waiting.clear();
    m_waitingNotable = false;
    m_lastWrite = nowMs;
    m_wrote = true;
    return line;
}

qint64 LogThrottle::waitMs(qint64 nowMs) const
{
    if (m_waiting.isEmpty())
        return -1;
    return std::max<qint64>(0, m_lastWrite + kGapMs - nowMs);
}

QString LogThrottle::drain()
{
    if (m_waiting.isEmpty())
        return QString();
    const QString line = withMerged(m_waiting);
    m_waiting.clear();
    m_waitingNotable = false;
    return line;
}

QString LogThrottle::withMerged(const QString &line)
{
    if (m_merged == 0)
        return line;
    const QString out = line + QStringLiteral("（另有 %1 条同类事件已合并）").arg(m_merged);
    m_merged = 0;
    return out;
}

} // namespace TouchProbe
