#include "probe/touchprobewindow.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

// Painting of the touch diagnostics window. Contacts, trails and the pen are
// drawn over everything: the whole screen is the touch surface.

using namespace TouchProbe;

namespace {

QColor withAlpha(QColor c, double alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}

QColor roleColor(ContactRole role, const Theme &t)
{
    switch (role) {
    case ContactRole::Writing: return t.accent;
    case ContactRole::Palm: return t.secondary;
    case ContactRole::Pinch: return t.tertiary;
    case ContactRole::Resting:
    case ContactRole::Ignored: return t.outline;
    }
    return t.outline;
}

QColor frameColor(const TouchInput::TouchClass &c, const Theme &t)
{
    switch (c.kind) {
    case TouchInput::TouchKind::Write: return c.write ? t.accent : t.textMuted;
    case TouchInput::TouchKind::Pinch: return t.tertiary;
    case TouchInput::TouchKind::Palm: return t.secondary;
    default: return t.textMuted;
    }
}

} // namespace

// A box of text lines with a rounded background; the first line is bold.
// Boxes go beside the point they name, on the side where they cover fewest
// boxes already drawn, and stay on screen.
class TouchProbeWindow::TagPainter
{
public:
    TagPainter(QPainter &p, const QRect &bounds, const QFont &font)
        : m_p(p), m_bounds(bounds), m_font(font), m_bold(font), m_metrics(uiMetrics(font))
    {
        m_bold.setBold(true);
    }

    void draw(QPointF at, double reach, const QStringList &lines, const QColor &accent)
    {
        const Theme &t = theme();
        const QFontMetrics fm(m_font);
        const QFontMetrics bm(m_bold);
        int width = 0;
        for (int i = 0; i < lines.size(); ++i)
            width = std::max(width, (i == 0 ? bm : fm).horizontalAdvance(lines.at(i)));
        const int lineHeight = fm.height();
        const QSize size(width + 2 * m_metrics.inset,
                         int(lines.size()) * lineHeight + 2 * m_metrics.gapXs);
        const QRect box = place(at, reach, size);
        m_taken.append(box);

        m_p.setPen(QPen(accent, m_metrics.hairline));
        m_p.setBrush(withAlpha(t.surfaceContainerHighest, 0.92));
        m_p.drawRoundedRect(box, m_metrics.gapXs, m_metrics.gapXs);
        for (int i = 0; i < lines.size(); ++i) {
            m_p.setFont(i == 0 ? m_bold : m_font);
            m_p.setPen(i == 0 ? accent : t.text);
            m_p.drawText(QRect(box.left() + m_metrics.inset,
                               box.top() + m_metrics.gapXs + i * lineHeight, width, lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, lines.at(i));
        }
    }

    // Keeps later boxes off something drawn already, such as a contact.
    void reserve(const QRectF &area) { m_taken.append(area.toAlignedRect()); }

private:
    QRect place(QPointF at, double reach, QSize size) const
    {
        // Above right first: the hand is usually below and to one side.
        const double d = reach * 0.75 + m_metrics.gapXs;
        const QPointF corners[] = { at + QPointF(d, -d - size.height()),
                                    at + QPointF(-d - size.width(), -d - size.height()),
                                    at + QPointF(d, d), at + QPointF(-d - size.width(), d) };
        QRect best;
        qint64 bestCover = -1;
        for (const QPointF &corner : corners) {
            QRect box(corner.toPoint(), size);
            box.moveRight(std::min(box.right(), m_bounds.right()));
            box.moveBottom(std::min(box.bottom(), m_bounds.bottom()));
            box.moveLeft(std::max(box.left(), m_bounds.left()));
            box.moveTop(std::max(box.top(), m_bounds.top()));
            qint64 cover = 0;
            for (const QRect &other : m_taken) {
                const QRect overlap = other.intersected(box);
                cover += qint64(overlap.width()) * overlap.height();
            }
            if (bestCover < 0 || cover < bestCover) {
                best = box;
                bestCover = cover;
            }
            if (cover == 0)
                break;
        }
        return best;
    }

    QPainter &m_p;
    QRect m_bounds;
    QFont m_font;
    QFont m_bold;
    UiMetrics m_metrics;
    QVector<QRect> m_taken;
};

void TouchProbeWindow::paintEvent(QPaintEvent *)
{
    const Theme &t = theme();
    const UiMetrics m = uiMetrics(font());
    const Layout l = layoutFor(size());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), t.desk);

    p.fillRect(l.bar, t.bar);
    p.fillRect(QRect(l.bar.left(), l.bar.bottom() - m.hairline + 1, l.bar.width(), m.hairline),
               t.divider);
    const int titleRight = std::min(m_palm->geometry().left(), m_clear->geometry().left()) - m.gapL;
    const QRect titleRect(m.gapXl, l.bar.top(), std::max(0, titleRight - m.gapXl),
                          l.bar.height() / 2 + m.gapXs);
    p.setFont(scaledFont(font(), 1.3, QFont::Bold));
    p.setPen(t.text);
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("触摸诊断"));
    p.setFont(font());
    p.setPen(t.textMuted);
    const QRect hintRect(titleRect.left(), titleRect.bottom(), titleRect.width(),
                         l.bar.bottom() - titleRect.bottom());
    p.drawText(hintRect, Qt::AlignLeft | Qt::AlignTop,
               QFontMetrics(font()).elidedText(
                   QStringLiteral("在屏幕任意处用手指、手掌或笔测试 · Esc 关闭"), Qt::ElideRight,
                   hintRect.width()));

    paintSurface(p, l);
    paintPanel(p, l);
    paintFrameCard(p, l);
    paintTrails(p);
    TagPainter tags(p, rect(), scaledFont(font(), 0.9, QFont::Normal));
    paintContacts(p, tags);
    paintPen(p, tags);
}

void TouchProbeWindow::paintSurface(QPainter &p, const Layout &layout) const
{
    if (m_touch.last.activeCount > 0 || !m_touchTrails.isEmpty() || !m_pen.samples.isEmpty())
        return;
    const Theme &t = theme();
    p.setFont(scaledFont(font(), 1.5, QFont::Normal));
    p.setPen(t.textMuted);
    p.drawText(layout.surface, Qt::AlignCenter | Qt::TextWordWrap,
               QStringLiteral("请用一根手指点一下，再试手掌、双指和笔"));
}

void TouchProbeWindow::paintFrameCard(QPainter &p, const Layout &layout) const
{
    const Theme &t = theme();
    const UiMetrics m = uiMetrics(font());
    const FrameView &f = m_touch.last;
    const TouchInput::PalmState &palm = m_touch.palm;

    QStringList lines;
    lines << QStringLiteral("活动触点 %1 · 簇 %2 · 鬼点累计 %3")
                 .arg(f.activeCount)
                 .arg(f.clusters)
                 .arg(m_touch.ghostCount);
    lines << QStringLiteral("手掌擦除 %1 · 手掌起始 %2 · 手掌帧 %3%4")
                 .arg(palmSwitchOn() ? QStringLiteral("开") : QStringLiteral("关"),
                      f.palmLikeStart ? QStringLiteral("是") : QStringLiteral("否"))
                 .arg(palm.frames)
                 .arg(palm.active ? QStringLiteral("（已进入）") : QString());
    lines << (palm.calibrated ? QStringLiteral("手指基准 %1 px（%2 个样本）")
                                    .arg(palm.reference, 0, 'f', 1)
                                    .arg(palm.count)
                              : QStringLiteral("手指基准：未校准（需报告接触面积的手指）"));
    if (f.pinching) {
        lines << QStringLiteral("双指 缩放 ×%1 · 平移 %2, %3 px")
                     .arg(f.pinchZoom, 0, 'f', 3)
                     .arg(f.pinchPan.x())
                     .arg(f.pinchPan.y());
    }

    const QFont big = scaledFont(font(), 1.8, QFont::Bold);
    const QFontMetrics bm(big);
    const QFontMetrics fm(font());
    const QString title = frameClassName(f.touchClass);
    // The reference finger is drawn to scale beside the title.
    const int refDiameter = palm.calibrated ? int(std::min(palm.reference, 4.0 * bm.height())) : 0;
    int width = bm.horizontalAdvance(title) + (refDiameter > 0 ? refDiameter + m.gapL : 0);
    for (const QString &line : lines)
        width = std::max(width, fm.horizontalAdvance(line) + m.hairline); // rounding slack
    const int titleHeight = std::max(bm.height(), refDiameter);
    const int height = titleHeight + int(lines.size()) * fm.height() + 2 * m.gapM + m.gapXs;
    width = std::min(width + 2 * m.gapL, layout.surface.width() - 2 * m.gapL);
    const QRect card(layout.surface.left() + m.gapL, layout.surface.bottom() - m.gapL - height,
                     width, height);

    p.setPen(QPen(t.border, m.hairline));
    p.setBrush(withAlpha(t.surfaceContainer, 0.94));
    p.drawRoundedRect(card, m.gapM, m.gapM);
    const QRect titleRect(card.left() + m.gapL, card.top() + m.gapM,
                          card.width() - 2 * m.gapL, titleHeight);
    p.setFont(big);
    p.setPen(frameColor(f.touchClass, t));
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, title);
    if (refDiameter > 0) {
        const QPointF centre(titleRect.left() + bm.horizontalAdvance(title) + m.gapL
                                     + refDiameter / 2.0,
                             titleRect.center().y());
        p.setPen(QPen(t.accent, m.hairline));
        p.setBrush(withAlpha(t.accent, 0.2));
        p.drawEllipse(centre, palm.reference / 2, palm.reference / 2);
    }
    p.setFont(font());
    p.setPen(t.text);
    int y = titleRect.bottom() + 1 + m.gapXs;
    for (const QString &line : lines) {
        p.drawText(QRect(titleRect.left(), y, titleRect.width(), fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(line, Qt::ElideRight, titleRect.width()));
        y += fm.height();
    }
}

void TouchProbeWindow::paintPanel(QPainter &p, const Layout &layout) const
{
    const Theme &t = theme();
    const UiMetrics m = uiMetrics(font());
    const QRect r = layout.panel;
    p.fillRect(r, t.surfaceContainerLow);
    p.fillRect(QRect(r.left(), r.top(), m.hairline, r.height()), t.divider);

    const QFont heading = scaledFont(font(), 1.05, QFont::DemiBold);
    const QFont small = scaledFont(font(), 0.9, QFont::Normal);
    const QFontMetrics hm(heading);
    const QFontMetrics fm(font());
    const QFontMetrics sm(small);
    const int x = r.left() + m.gapL;
    const int w = r.width() - 2 * m.gapL;
    int y = r.top() + m.gapM;
    const auto headingLine = [&](const QString &text) {
        p.setFont(heading);
        p.setPen(t.text);
        p.drawText(QRect(x, y, w, hm.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += hm.height() + m.gapXs;
    };
    const auto textLine = [&](const QString &text, const QFont &f, const QColor &c) {
        const QFontMetrics metrics(f);
        p.setFont(f);
        p.setPen(c);
        p.drawText(QRect(x, y, w, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(text, Qt::ElideRight, w));
        y += metrics.height();
    };

    headingLine(QStringLiteral("输入设备（%1）").arg(m_devices.size()));
    for (const DeviceText &d : m_devices) {
        textLine(d.name, font(), t.text);
        textLine(d.detail, small, t.textMuted);
        y += m.gapXs;
    }

    y += m.gapM;
    headingLine(QStringLiteral("笔"));
    if (!m_penSeen) {
        textLine(QStringLiteral("尚未收到笔事件"), font(), t.textMuted);
    } else {
        const PenSample &s = m_lastPen;
        textLine(QStringLiteral("%1 · %2").arg(pointerName(s.pointer), penPhaseName(s.phase)),
                 font(), isEraser(s) ? t.tertiary : t.text);
        // Pressure as a bar: easy to read from across the room.
        const QRect bar(x, y + m.gapXs, w, m.gapM);
        p.setPen(Qt::NoPen);
        p.setBrush(t.surfaceContainerHighest);
        p.drawRoundedRect(bar, m.gapXs, m.gapXs);
        p.setBrush(isEraser(s) ? t.tertiary : t.accent);
        p.drawRoundedRect(QRect(bar.left(), bar.top(), int(bar.width() * std::clamp(s.pressure, 0.0, 1.0)),
                                bar.height()),
                          m.gapXs, m.gapXs);
        y = bar.bottom() + 1 + m.gapXs;
        textLine(QStringLiteral("压力 %1 · 倾斜 %2°, %3° · 旋转 %4°")
                     .arg(s.pressure, 0, 'f', 2)
                     .arg(s.xTilt, 0, 'f', 0)
                     .arg(s.yTilt, 0, 'f', 0)
                     .arg(s.rotation, 0, 'f', 0),
                 font(), t.text);
        textLine(QStringLiteral("位置 %1, %2 · %3")
                     .arg(qRound(s.pos.x()))
                     .arg(qRound(s.pos.y()))
                     .arg(s.deviceName),
                 small, t.textMuted);
    }

    y += m.gapM;
    headingLine(QStringLiteral("最近事件（新的在上）"));
    for (const QString &line : m_events) {
        if (y + sm.height() > r.bottom() - m.gapXs)
            break;
        textLine(line, small, t.text);
    }
}

void TouchProbeWindow::paintTrails(QPainter &p) const
{
    const Theme &t = theme();
    const UiMetrics m = uiMetrics(font());
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(withAlpha(t.textMuted, 0.6), 2 * m.hairline, Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    for (const QVector<QPointF> &trail : m_touchTrails)
        p.drawPolyline(trail.constData(), int(trail.size()));
}

void TouchProbeWindow::paintContacts(QPainter &p, TagPainter &tags) const
{
    const Theme &t = theme();
    const UiMetrics m = uiMetrics(font());
    const FrameView &f = m_touch.last;
    if (f.touchClass.kind == TouchInput::TouchKind::Palm) {
        p.setPen(QPen(t.secondary, 2 * m.hairline, Qt::DashLine));
        p.setBrush(withAlpha(t.secondary, 0.12));
        p.drawEllipse(f.palmCentre, f.touchClass.radius, f.touchClass.radius);
    }
    const auto reachOf = [&m](const ContactView &c) {
        return std::max(m.touchTarget / 2.0, c.size / 2);
    };
    for (const ContactView &c : f.contacts) {
        if (c.active) {
            const double r = reachOf(c);
            tags.reserve(QRectF(c.point.contact.pos - QPointF(r, r), QSizeF(2 * r, 2 * r)));
        }
    }
    QVector<QPointF> pinchPair;
    bool writerShown = false;
    for (const ContactView &c : f.contacts) {
        if (!c.active)
            continue;
        const QPointF pos = c.point.contact.pos;
        const QColor color = c.ghost != GhostReason::None ? t.error : roleColor(c.role, t);
        if (c.role == ContactRole::Pinch)
            pinchPair.append(pos);
        writerShown = writerShown || c.role == ContactRole::Writing;

        // The contact ellipse to scale; a contact without a size gets a dashed ring.
        const QSizeF e = c.point.contact.ellipse;
        const double reach = reachOf(c);
        p.save();
        p.translate(pos);
        if (c.size > 0) {
            p.rotate(c.point.rotation);
            p.setPen(QPen(color, 2 * m.hairline));
            p.setBrush(withAlpha(color, 0.25));
            p.drawEllipse(QPointF(), std::max(e.width(), 0.0) / 2, std::max(e.height(), 0.0) / 2);
        } else {
            p.setPen(QPen(color, 2 * m.hairline, Qt::DashLine));
            p.setBrush(withAlpha(color, 0.12));
            p.drawEllipse(QPointF(), reach, reach);
        }
        p.restore();
        p.setPen(QPen(color, m.hairline));
        const double arm = m.gapL;
        p.drawLine(pos - QPointF(arm, 0), pos + QPointF(arm, 0));
        p.drawLine(pos - QPointF(0, arm), pos + QPointF(0, arm));

        QStringList lines{ QStringLiteral("#%1 %2").arg(c.point.contact.id).arg(roleName(c.role)),
                           QStringLiteral("%1, %2").arg(qRound(pos.x())).arg(qRound(pos.y())) };
        lines << (c.size > 0 ? QStringLiteral("%1 × %2 px")
                                   .arg(e.width(), 0, 'f', 1)
                                   .arg(e.height(), 0, 'f', 1)
                             : QStringLiteral("无接触面积"));
        if (c.ghost != GhostReason::None)
            lines << ghostName(c.ghost);
        tags.draw(pos, reach, lines, color);
    }
    if (pinchPair.size() == 2) {
        p.setPen(QPen(t.tertiary, 2 * m.hairline, Qt::DotLine));
        p.drawLine(pinchPair.at(0), pinchPair.at(1));
        p.setBrush(t.tertiary);
        p.drawEllipse((pinchPair.at(0) + pinchPair.at(1)) / 2, m.gapXs, m.gapXs);
    }
    // The writing point may be a mean of several contacts and lie on none.
    if (f.touchClass.write && !writerShown) {
        const QPointF w = f.touchClass.point;
        p.setPen(QPen(t.accent, 2 * m.hairline));
        p.drawLine(w - QPointF(m.gapL, m.gapL), w + QPointF(m.gapL, m.gapL));
        p.drawLine(w - QPointF(m.gapL, -m.gapL), w + QPointF(m.gapL, -m.gapL));
        tags.draw(w, m.gapL, { QStringLiteral("书写点") }, t.accent);
    }
    if (f.touchClass.kind == TouchInput::TouchKind::Palm) {
        const QString text = f.palmLikeStart
                ? QStringLiteral("擦除半径 %1 px").arg(f.touchClass.radius, 0, 'f', 0)
                : QStringLiteral("不擦除：本次触摸不是以手掌开始");
        tags.draw(f.palmCentre, f.touchClass.radius, { QStringLiteral("手掌"), text }, t.secondary);
    }
}

void TouchProbeWindow::paintPen(QPainter &p, TagPainter &tags) const
{
    if (!m_penSeen)
        return;
    const Theme &t = theme();
    const UiMetrics m = uiMetrics(font());
    const QVector<PenSample> &s = m_pen.samples;
    for (int i = 1; i < s.size(); ++i) {
        const PenSample &a = s.at(i - 1);
        const PenSample &b = s.at(i);
        const bool down = (a.phase == PenPhase::Press || a.phase == PenPhase::Move)
                && (b.phase == PenPhase::Move || b.phase == PenPhase::Release);
        const bool hover = a.phase == PenPhase::Hover && b.phase == PenPhase::Hover;
        if (!down && !hover)
            continue;
        const QColor color = isEraser(b) ? t.tertiary : t.text;
        const double width = down ? m.hairline + b.pressure * m.gapM : m.hairline;
        p.setPen(QPen(down ? color : withAlpha(color, 0.5), width,
                      down ? Qt::SolidLine : Qt::DotLine, Qt::RoundCap));
        p.drawLine(a.pos, b.pos);
    }
    const PenSample &last = m_lastPen;
    if (last.phase == PenPhase::Away)
        return;
    const bool eraser = isEraser(last);
    const QColor color = eraser ? t.tertiary : t.text;
    const double r = m.touchTarget * 0.3;
    p.setPen(QPen(color, 2 * m.hairline));
    p.setBrush(withAlpha(color, 0.15));
    if (eraser)
        p.drawRoundedRect(QRectF(last.pos - QPointF(r, r), QSizeF(2 * r, 2 * r)), m.gapXs, m.gapXs);
    else
        p.drawEllipse(last.pos, r, r);
    QStringList lines{ QStringLiteral("%1 %2").arg(pointerName(last.pointer),
                                                   penPhaseName(last.phase)),
                       QStringLiteral("压力 %1").arg(last.pressure, 0, 'f', 2) };
    if (last.xTilt != 0 || last.yTilt != 0)
        lines << QStringLiteral("倾斜 %1°, %2°").arg(last.xTilt, 0, 'f', 0).arg(last.yTilt, 0, 'f', 0);
    tags.draw(last.pos, r, lines, color);
}
