#include "app/transitionlayer.h"

#include "app/theme.h"
#include "app/uimetrics.h"

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

void PageTransitionLayer::setPictures(const QPixmap &outgoing, const QPixmap &incoming)
{
    m_outgoing = outgoing;
    m_incoming = incoming;
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
    const QRect dirty = event->rect();
    painter.fillRect(dirty, t.desk);
    const int shade = int(std::max(1.4 * uiMetrics(font()).iconSize, 12.0));
    if (dirty.top() < shade) {
        QLinearGradient gradient(0, 0, 0, shade);
        gradient.setColorAt(0, t.deskEdge);
        gradient.setColorAt(1, t.desk);
        painter.fillRect(QRect(0, 0, width(), shade), gradient);
    }
    // Only the part of the outgoing picture that the incoming one leaves
    // uncovered is drawn: a frame costs about one full-window blit.
    const QRect incoming = m_incoming.isNull()
                               ? QRect()
                               : QRect(m_incomingPos, m_incoming.deviceIndependentSize().toSize());
    if (!m_outgoing.isNull()) {
        painter.save();
        QRegion visible(rect());
        if (!incoming.isNull())
            visible -= incoming;
        painter.setClipRegion(visible & dirty);
        painter.setOpacity(m_outgoingOpacity);
        painter.drawPixmap(m_outgoingPos, m_outgoing);
        painter.restore();
    }
    if (!m_incoming.isNull())
        painter.drawPixmap(m_incomingPos, m_incoming);
}
