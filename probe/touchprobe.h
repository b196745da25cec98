#pragma once

#include "ink/touchclassifier.h"

#include <QEvent>
#include <QHash>
#include <QPoint>
#include <QPointF>
#include <QPointingDevice>
#include <QString>
#include <QVector>

class QEventPoint;
class QTabletEvent;

// What the touch diagnostics window knows, kept apart from its drawing so
// frames can be replayed. Every touch frame goes through the canvas's own
// classifier and pinch filter; the probe only labels what they decide.
namespace TouchProbe {

// One point of a touch event: the classifier's record plus what only the
// probe shows.
struct ProbePoint
{
    TouchInput::TouchContact contact;
    double rotation = 0; // of the contact ellipse, degrees
    double pressure = 0;
};
ProbePoint probePointFromEventPoint(const QEventPoint &point);

// What one contact does in the frame the canvas would see.
enum class ContactRole { Writing, Resting, Palm, Pinch, Ignored };

// Why a contact looks like no finger made it: it jumped farther in one frame
// than the clustering distance and farther than the pinch filter lets a span
// change per frame, or it landed apart from a hand or a stroke in progress.
enum class GhostReason { None, Jump, Stray };

struct ContactView
{
    ProbePoint point;
    double size = 0;      // as the classifier measures it; 0 = none reported
    bool active = false;  // one of the classifier's active contacts
    ContactRole role = ContactRole::Ignored;
    GhostReason ghost = GhostReason::None;
};

struct FrameView
{
    QEvent::Type type = QEvent::None;
    quint64 timestamp = 0;
    QVector<ContactView> contacts; // every point of the event, in event order
    int activeCount = 0;
    TouchInput::TouchClass touchClass;
    int clusters = 0;
    bool palmLikeStart = false; // only such a sequence may palm-erase
    QPointF palmCentre;         // where the canvas would palm-erase
    bool pinching = false;
    double pinchZoom = 1;       // zoom the pinch filter applied since the pinch began
    QPoint pinchPan;            // pixels it scrolled since then
};

// Where a contact is at one moment.
struct Spot
{
    int id = 0;
    QPointF pos;
};

// The probe's memory between frames: the canvas's detector and pinch filter,
// and the positions the ghost rules compare against.
struct TouchState
{
    TouchInput::PalmState palm;
    TouchInput::PinchState pinch;
    TouchInput::PalmSwitch palmSwitch = TouchInput::PalmSwitch::Off;
    bool palmLikeStart = false;
    double pinchZoom = 1;
    QPoint pinchPan;
    QHash<int, QPointF> previous;       // id -> position in the last frame
    QHash<int, QPointF> landed;         // id -> where it touched down
    QHash<int, GhostReason> ghosts;     // a flag stays until its contact lifts
    int ghostCount = 0;                 // contacts flagged since the last clear
    FrameView last;
};

// As the canvas's palm switch: a change resets the detector, not its calibration.
void setPalmSwitch(TouchState &state, TouchInput::PalmSwitch palmSwitch);

// Runs one touch event through the classifier and the pinch filter as the
// canvas's touch handler would, and labels each contact.
FrameView touchFrame(TouchState &state, QEvent::Type type, const QVector<ProbePoint> &points,
                     quint64 timestamp);

// Which of the active contacts the classification writes with, pinches with,
// or leaves resting.
QVector<ContactRole> contactRoles(const TouchInput::TouchClass &touchClass,
                                  const QVector<QPointF> &active);

// Ghost rules for the contacts now down. previous holds the last frame's
// positions; landed the touch-down positions of the contacts still down.
QHash<int, GhostReason> findGhosts(const QHash<int, QPointF> &previous,
                                   const QHash<int, QPointF> &landed,
                                   const QVector<Spot> &current);

// Whether two points lie in separate clusters of the classifier.
bool apart(QPointF a, QPointF b);

enum class PenPhase { Hover, Press, Move, Release, Near, Away };

struct PenSample
{
    QPointF pos;
    double pressure = 0;
    double xTilt = 0;
    double yTilt = 0;
    double rotation = 0;
    QPointingDevice::PointerType pointer = QPointingDevice::PointerType::Unknown;
    QString deviceName;
    PenPhase phase = PenPhase::Hover;
    quint64 timestamp = 0;
    QEvent::Type type = QEvent::None;
};
PenSample penSampleFromEvent(const QTabletEvent &event);
bool isEraser(const PenSample &sample);

// The last pen samples, oldest first.
struct PenTrail
{
    static constexpr int kLength = 96;
    QVector<PenSample> samples;
    void add(const PenSample &sample);
};

// At most one line per 250 ms. A line that arrives in the gap waits; a line
// that marks a change is kept over routine ones, and the one written next
// says how many were merged into it.
class LogThrottle
{
public:
    static constexpr qint64 kGapMs = 250;
    // The line to write now, or empty when it waits or is merged.
    QString offer(qint64 nowMs, const QString &line, bool notable);
    // The waiting line once its gap is over, else empty.
    QString flush(qint64 nowMs);
    // Milliseconds until a waiting line may be written; -1 when none waits.
    qint64 waitMs(qint64 nowMs) const;
    // The waiting line at once, for the last word before closing.
    QString drain();

private:
    QString withMerged(const QString &line);

    qint64 m_lastWrite = 0;
    bool m_wrote = false;
    QString m_waiting;
    bool m_waitingNotable = false;
    int m_merged = 0;
};

} // namespace TouchProbe
