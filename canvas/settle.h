#pragma once

#include <QPoint>
#include <QtGlobal>

// The eased scroll that brings a slide to its place after a slide key or a
// swipe. Like Glide it only decides: the canvas passes its clock reading
// (milliseconds) and owns the timer and the scroll bars.
class Settle
{
public:
    // Starts a motion of the scroll values from `from` to `to`. A duration
    // of 0 or less arrives at the first tick.
    void start(qint64 now, QPoint from, QPoint to, int durationMs);
    // The scroll values at now; false once arrived (pos is then the target
    // and the motion has stopped).
    bool tick(qint64 now, QPoint *pos);
    // Stops a running motion where it is; true if one was running.
    bool stop();
    bool isRunning() const { return m_running; }
    QPoint target() const { return m_to; }

private:
    QPoint m_from;
    QPoint m_to;
    qint64 m_start = 0;
    int m_durationMs = 0;
    bool m_running = false;
};
