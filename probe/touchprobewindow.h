#pragma once

#include "probe/touchprobe.h"
#include "probe/touchprobetext.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QPainter;
class QPushButton;
class QSinglePointEvent;
class QTimer;
class QTouchEvent;

// The touch diagnostics window (--probe-touch): a full-screen surface that
// shows every touch contact as the canvas's classifier sees it, every pen
// sample, the input devices and the latest raw events, so a new classroom
// board can be checked in a minute and the input rules tuned on it.
class TouchProbeWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxEventLines = 200;
    static constexpr int kTouchTrailLength = 48;

    explicit TouchProbeWindow(QWidget *parent = nullptr);
    ~TouchProbeWindow() override;

    // The touch handler's entry after it has read the event's points; open
    // so frames with contact sizes can be replayed.
    void touchFrame(QEvent::Type type, const QVector<TouchProbe::ProbePoint> &points,
                    quint64 timestamp);
    void penSample(const TouchProbe::PenSample &sample);

    const TouchProbe::TouchState &touchState() const { return m_touch; }
    const TouchProbe::FrameView &lastFrame() const { return m_touch.last; }
    const TouchProbe::PenTrail &penTrail() const { return m_pen; }
    bool penSeen() const { return m_penSeen; }
    const TouchProbe::PenSample &lastPen() const { return m_lastPen; }
    // Newest first.
    const QStringList &eventLines() const { return m_events; }
    const QVector<TouchProbe::DeviceText> &devices() const { return m_devices; }
    bool palmSwitchOn() const;
    void setPalmSwitchOn(bool on);

signals:
    void closed();

public slots:
    void clear();
    void refreshDevices();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    class TagPainter;
    struct Layout
    {
        QRect bar;
        QRect panel;
        QRect surface;
    };

    bool onControl(QPointF globalPos) const;
    void handleTouch(QTouchEvent *event);
    void handlePointer(QSinglePointEvent *event);
    void addEventLine(const QString &line);
    void logProbe(const QString &line, bool notable);
    void flushLog();
    void layoutControls();
    void applyStyle();
    Layout layoutFor(const QSize &size) const;

    // Painting, in touchprobepaint.cpp.
    void paintSurface(QPainter &p, const Layout &layout) const;
    void paintTrails(QPainter &p) const;
    void paintContacts(QPainter &p, TagPainter &tags) const;
    void paintPen(QPainter &p, TagPainter &tags) const;
    void paintFrameCard(QPainter &p, const Layout &layout) const;
    void paintPanel(QPainter &p, const Layout &layout) const;

    TouchProbe::TouchState m_touch;
    QHash<int, QVector<QPointF>> m_touchTrails;
    TouchProbe::PenTrail m_pen;
    TouchProbe::PenSample m_lastPen;
    bool m_penSeen = false;
    bool m_penOnControl = false;
    QStringList m_events;
    QVector<TouchProbe::DeviceText> m_devices;
    TouchProbe::LogThrottle m_throttle;
    QElapsedTimer m_clock;
    QTimer *m_logTimer = nullptr;
    QTimer *m_deviceTimer = nullptr;
    QPushButton *m_close = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_palm = nullptr;
};

// Shows the window full screen and runs the event loop; returns its result.
int runTouchProbe();
