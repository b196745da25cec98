#include "canvas/settle.h"

#include <algorithm>
#include <cmath>

void Settle::start(qint64 now, QPoint from, QPoint to, int durationMs)
{
    m_from = from;
    m_to = to;
    m_start = now;
    m_durationMs = std::max(durationMs, 0);
    m_running = true;
}

bool Settle::tick(qint64 now, QPoint *pos)
{
    if (!m_running || !pos)
        return false;
    const double t = m_durationMs > 0 ? std::clamp(double(now - m_start) / m_durationMs, 0.0, 1.0) : 1.0;
    if (t >= 1.0) {
        *pos = m_to;
        m_running = false;
        return false;
    }
    // Ease out (cubic): quick away from the old place, gentle at the new one.
    const double eased = 1.0 - std::pow(1.0 - t, 3);
    const QPoint span = m_to - m_from;
    *pos = m_from + QPoint(int(std::lround(span.x() * eased)), int(std::lround(span.y() * eased)));
    return true;
}

bool Settle::stop()
{
    const bool was = m_running;
    m_running = false;
    return was;
}
