#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>

// The still pictures of a page switch: for a moment it covers the page stack
// and draws the page that leaves and the page that arrives where the main
// window puts them. Transparent for input, so presses reach the real page
// that is already current underneath.
class PageTransitionLayer : public QWidget
{
    Q_OBJECT
public:
    explicit PageTransitionLayer(QWidget *parent = nullptr);

    // A picture of page on the desk colour, without an alpha channel, so
    // that frames copy it rather than blend it.
    static QPixmap snapshot(QWidget *page);
    void setPictures(const QPixmap &outgoing, const QPixmap &incoming);
    void setFrame(const QPoint &outgoingPos, double outgoingOpacity, const QPoint &incomingPos);
    // Drops both pictures, resets the frame and hides the layer.
    void clear();
    // Colours are read at paint time; this only repaints.
    void applyTheme() { update(); }

    const QPixmap &outgoingPicture() const { return m_outgoing; }
    const QPixmap &incomingPicture() const { return m_incoming; }
    QPoint outgoingPos() const { return m_outgoingPos; }
    QPoint incomingPos() const { return m_incomingPos; }
    double outgoingOpacity() const { return m_outgoingOpacity; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_outgoing;
    QPixmap m_incoming;
    QPoint m_outgoingPos;
    QPoint m_incomingPos;
    double m_outgoingOpacity = 1.0;
};
