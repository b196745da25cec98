#pragma once

#include <QWidget>

class QSlider;
class QToolButton;

// The zoom controls at the end of the tab strip: minus, a logarithmic slider,
// plus and the percentage (a tap fits the width). It shows the zoom it is
// given and turns the user's actions into requests; it never holds a canvas.
class ZoomBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr double kMinZoom = 0.25;
    static constexpr double kMaxZoom = 4.0;
    static constexpr int kSliderMax = 1000;

    explicit ZoomBar(QWidget *parent = nullptr);

    // Display only: never emits. While the user holds the slider only the
    // text follows.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    void refreshStyle();
    // Lets go of a slider drag in progress without a request, and shows the
    // displayed zoom again (the document under the drag went away).
    void cancelDrag();
    void applyTheme() { refreshStyle(); }

    static int sliderValueFor(double zoom);
    static double zoomForSliderValue(int value);

    QSlider *slider() const { return m_slider; }
    QToolButton *minusButton() const { return m_minus; }
    QToolButton *plusButton() const { return m_plus; }
    QToolButton *percentButton() const { return m_percent; }

signals:
    void zoomRequested(double zoom);
    void fitWidthRequested();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void onSliderMoved(int value);
    void onSliderValueChanged(int value);
    void requestFromSlider(int value);

    QToolButton *m_minus = nullptr;
    QSlider *m_slider = nullptr;
    QToolButton *m_plus = nullptr;
    QToolButton *m_percent = nullptr;
    double m_zoom = 1.0;
    int m_lastSliderValue = 500;
    bool m_syncing = false;
};
