#pragma once

#include <QPoint>
#include <QPointF>
#include <QSizeF>
#include <QVector>

#include <array>

class QEventPoint;

// What a frame of touch contacts means (write, pinch, palm or nothing) and
// the two-finger pinch filter. Plain records in, plain records out, so the
// canvas's touch handler stays a thin router and frames can be replayed.
namespace TouchInput {

enum class ContactState { Pressed, Moved, Stationary, Released };

// One touch point as the handler sees it: viewport pixels, and the contact
// ellipse's diameters in pixels (empty or invalid when the device has none).
struct TouchContact
{
    int id = 0;
    QPointF pos;
    QSizeF ellipse;
    ContactState state = ContactState::Pressed;
};

TouchContact contactFromEventPoint(const QEventPoint &point);

// Contact size: the larger ellipse diameter; 0 when missing, negative or not a number.
double contactSize(const TouchContact &contact);

// The contacts still down, in event order. A contact with a position that is
// not a number, or a repeated id, is left out.
struct ActiveContacts
{
    QVector<QPointF> points;
    QVector<double> sizes; // parallel to points; 0 = no size reported
    bool allSized() const;
    QPointF mean() const;
};
ActiveContacts activeContacts(const QVector<TouchContact> &contacts);

// Palm detector of one canvas. Calibration (the ring of finger sizes)
// survives resets; clearAll forgets it too.
struct PalmState
{
    static constexpr int kRingSize = 16;

    int frames = 0;
    bool active = false;
    double radius = 0;
    bool radiusSet = false;
    QPointF centroid;
    bool centroidSet = false;
    std::array<double, kRingSize> ring{};
    int count = 0;
    int index = 0;
    double reference = 0;
    bool calibrated = false;

    void reset();
    void clearAll();
};

enum class PalmSwitch { Off, On };

enum class TouchKind { None = 0, Write = 1, Pinch = 2, Palm = 3 };

struct TouchClass
{
    TouchKind kind = TouchKind::None;
    double radius = 0;
    QPointF point;
    bool write = false;
};

// Single-linkage groups of contacts within 72 px of each other, ordered by
// their first contact; each group lists contact indices in event order.
QVector<QVector<int>> clusterContacts(const QVector<QPointF> &points);

// Classifies one frame. sizes is parallel to points (0 = no size); a list of
// another length means no sizes at all.
TouchClass classifyTouch(const QVector<QPointF> &points, const QVector<double> &sizes,
                         PalmState &state, PalmSwitch palmSwitch);

// Damped palm radius, limited to 14..132: a resting palm keeps its radius.
double smoothPalmRadius(PalmState &state, double raw, QPointF centroid);

// Whether a touch sequence starts as a palm (only such a sequence may palm-erase).
bool palmLikeStart(const ActiveContacts &contacts, const PalmState &state);

// Whether one writing contact moved from one sample to the next (elapsedMs
// apart, 0 when unknown) farther than a finger can: a contact id swap or a
// ghost taking over, which must not draw a line across the page.
bool isFingerJump(QPointF from, QPointF to, qint64 elapsedMs);

// Two-finger pinch and pan filter.
struct PinchState
{
    bool active = false;
    QPointF p0, p1;           // stored contact pair
    double distanceAverage = 0;
    QPointF midpointAverage;
    QPointF panAccumulated, panSmoothed, panApplied;
    QPointF anchor;           // zoom anchor, viewport pixels
    double rawScale = 1;
    double smoothedScale = 1;
    double appliedScale = 1;
};

// What the canvas does for one pinch frame: scroll the content by pan
// (content follows the fingers) and, when zoom is set, zoom by factor about
// anchor and then report the outcome through pinchZoomApplied.
struct PinchStep
{
    QPoint pan;
    bool zoom = false;
    double factor = 1;
    QPointF anchor;
};

void pinchBegin(PinchState &state, QPointF p0, QPointF p1);
// On a pinch that was never begun this begins it and moves nothing.
PinchStep pinchUpdate(PinchState &state, QPointF p0, QPointF p1);
// Keeps the applied scale in step with the zoom actually reached; at a zoom
// limit the fingers' scale restarts there, so reversing the pinch acts at once.
void pinchZoomApplied(PinchState &state, double oldZoom, double newZoom);
void pinchEnd(PinchState &state);

} // namespace TouchInput
