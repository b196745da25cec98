#include "app/transitionlayer.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>

PageTransitionLayer::PageTransitionLayer(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pageTransitionLayer"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

namespace {

// A picture with an alpha channel is laid on the desk once, so that every
// frame can copy it instead of blending it.
QPixmap opaque(const QPixmap &picture, const QColor &desk)
{
    if (picture.isNull() || !picture.hasAlphaChannel())
        return picture;
    QImage flat(picture.size(), QImage::Format_RGB32);
    flat.setDevicePixelRatio(picture.devicePixelRatio());
    flat.fill(desk);
    {
        QPainter painter(&flat);
        painter.drawPixmap(0, 0, picture);
    }
    return QPixmap::fromImage(std::move(flat));
}

} // namespace

QPixmap PageTransitionLayer::snapshot(QWidget *page)
{
    const double ratio = page->devicePixelRatioF();
    QPixmap picture(page->size() * ratio);
    if (picture.isNull())
        return picture;
    picture.setDevicePixelRatio(ratio);
    // An opaque fill keeps the pixmap in the screen's opaque format.
    picture.fill(theme().desk);
    page->render(&picture);
    return picture;
}

void PageTransitionLayer::setPictures(const QPixmap &outgoing, const QPixmap &incoming)
{
    const QColor desk = theme().desk;
    m_outgoing = opaque(outgoing, desk);
    m_incoming = opaque(incoming, desk);
}

void PageTransitionLayer::setFrame(const QPoint &outgoingPos, double outgoingOpacity, const QPoint &incomingPos)
{
    m_outgoingPos = outgoingPos;
    m_outgoingOpacity = outgoingOpacity;
    m_incomingPos = incomingPos;
}

void PageTransitionLayer::clear()
{
    m_outgoing = QPixmap();
    m_incoming = QPixmap();
    m_outgoingPos = QPoint();
    m_incomingPos = QPoint();
    m_outgoingOpacity = 1.0;
    hide();
}

void PageTransitionLayer::paintEvent(QPaintEvent *event)
{
    const Theme &t = theme();
    QPainter painter(this);
    const QRegion dirty = event->region();
    // Every pixel is painted once: the incoming picture, the part of the
    // outgoing one it leaves uncovered, and the desk where neither lies.
    const QRect incoming =
        m_incoming.isNull() ? QRect() : QRect(m_incomingPos, m_incoming.deviceIndependentSize().toSize()) & rect();
    const QRect outgoing =
        m_outgoing.isNull() ? QRect() : QRect(m_outgoingPos, m_outgoing.deviceIndependentSize().toSize()) & rect();
    const QRegion outgoingShown = (QRegion(outgoing) - incoming) & dirty;
    const QRegion desk = (QRegion(rect()) - incoming - outgoing) & dirty;

    if (!desk.isEmpty()) {
        painter.setClipRegion(desk);
        painter.fillRect(rect(), t.desk);
        const int shade = int(std::max(1.4 * uiMetrics(font()).iconSize, 12.0));
        QLinearGradient gradient(0, 0, 0, shade);
        gradient.setColorAt(0, t.deskEdge);
        gradient.setColorAt(1, t.desk);
        painter.fillRect(QRect(0, 0, width(), shade), gradient);
    }
    if (!outgoingShown.isEmpty()) {
        painter.setClipRegion(outgoingShown);
        painter.drawPixmap(m_outgoingPos, m_outgoing);
        // An opaque picture at opacity o over the desk equals the picture
        // under the desk colour at 1 - o; a solid blend is the cheaper one.
        if (m_outgoingOpacity < 1.0) {
            QColor veil = t.desk;
            veil.setAlphaF(float(std::clamp(1.0 - m_outgoingOpacity, 0.0, 1.0)));
            painter.fillRect(outgoing, veil);
        }
    }
    if (!incoming.isEmpty()) {
        painter.setClipRegion(QRegion(incoming) & dirty);
        painter.drawPixmap(m_incomingPos, m_incoming);
    }
}
