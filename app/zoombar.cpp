#include "app/zoombar.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QHBoxLayout>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

QString percentText(double zoom)
{
    return QStringLiteral("%1%").arg(std::lround(zoom * 100));
}

} // namespace

ZoomBar::ZoomBar(QWidget *parent)
    : QWidget(parent)
    , m_minus(new QToolButton(this))
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_plus(new QToolButton(this))
    , m_percent(new QToolButton(this))
{
    setObjectName(QStringLiteral("zoomBar"));
    setAccessibleName(QStringLiteral("缩放"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    const UiMetrics m = uiMetrics(font());
    const int b = int(0.8 * m.touchTarget);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(std::max(m.gapXs, 8));

    const auto setUpButton = [&](QToolButton *button, const char *name, const QString &text,
                                 const QString &tip) {
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        button->setFixedSize(b, b);
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFont(scaledFont(font(), 1.25, 600));
    };
    setUpButton(m_minus, "zoomMinus", QString(QChar(0x2212)), QStringLiteral("缩小"));
    setUpButton(m_plus, "zoomPlus", QStringLiteral("+"), QStringLiteral("放大"));

    m_slider->setObjectName(QStringLiteral("zoomSlider"));
    m_slider->setAccessibleName(QStringLiteral("缩放滑块"));
    m_slider->setRange(0, kSliderMax);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(50);
    m_slider->setFocusPolicy(Qt::StrongFocus);
    m_slider->setFixedWidth(int(3.4 * m.touchTarget));
    m_slider->setValue(m_lastSliderValue);

    m_percent->setObjectName(QStringLiteral("zoomPercent"));
    m_percent->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_percent->setToolTip(QStringLiteral("适配宽度（点击恢复到 100%）"));
    m_percent->setAccessibleName(QStringLiteral("缩放比例"));
    m_percent->setFixedSize(QFontMetrics(font()).horizontalAdvance(QStringLiteral("400%")) + 16, b);
    m_percent->setCursor(Qt::PointingHandCursor);
    m_percent->setFocusPolicy(Qt::NoFocus);
    m_percent->setText(percentText(m_zoom));

    row->addWidget(m_minus);
    row->addWidget(m_slider);
    row->addWidget(m_plus);
    row->addWidget(m_percent);

    connect(m_minus, &QToolButton::clicked, this,
            [this] { emit zoomRequested(std::clamp(m_zoom / 1.25, kMinZoom, kMaxZoom)); });
    connect(m_plus, &QToolButton::clicked, this,
            [this] { emit zoomRequested(std::clamp(m_zoom * 1.25, kMinZoom, kMaxZoom)); });
    connect(m_percent, &QToolButton::clicked, this, &ZoomBar::fitWidthRequested);
    connect(m_slider, &QSlider::sliderMoved, this, &ZoomBar::onSliderMoved);
    connect(m_slider, &QSlider::valueChanged, this, &ZoomBar::onSliderValueChanged);
    refreshStyle();
}

int ZoomBar::sliderValueFor(double zoom)
{
    const double z = std::clamp(zoom, kMinZoom, kMaxZoom);
    // std::lround rounds halves away from zero.
    return int(std::lround(250.0 * std::log2(4.0 * z)));
}

double ZoomBar::zoomForSliderValue(int value)
{
    const int v = std::clamp(value, 0, kSliderMax);
    return 0.25 * std::pow(16.0, v / double(kSliderMax));
}

void ZoomBar::setZoom(double zoom)
{
    // A NaN from a broken caller must not reach the slider or the text.
    if (!std::isfinite(zoom))
        zoom = 1.0;
    m_zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (!m_slider->isSliderDown()) {
        const int value = sliderValueFor(m_zoom);
        m_syncing = true;
        m_slider->setValue(value);
        m_syncing = false;
        m_lastSliderValue = value;
    }
    m_percent->setText(percentText(m_zoom));
}

void ZoomBar::cancelDrag()
{
    if (!m_slider->isSliderDown())
        return;
    m_syncing = true;
    // A release ends the slider's own press state, so later moves of the
    // same finger no longer drag it.
    const QPointF centre = QRectF(m_slider->rect()).center();
    QMouseEvent release(QEvent::MouseButtonRelease, centre, m_slider->mapToGlobal(centre), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_slider, &release);
    m_slider->setSliderDown(false);
    m_syncing = false;
    setZoom(m_zoom);
}

void ZoomBar::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    cancelDrag();
}

void ZoomBar::onSliderMoved(int value)
{
    if (m_syncing)
        return;
    requestFromSlider(value);
}

void ZoomBar::onSliderValueChanged(int value)
{
    if (m_syncing || value == m_lastSliderValue)
        return;
    requestFromSlider(value);
}

void ZoomBar::requestFromSlider(int value)
{
    m_lastSliderValue = value;
    emit zoomRequested(zoomForSliderValue(value));
}

void ZoomBar::refreshStyle()
{
    const Theme &t = theme();
    const UiMetrics m = uiMetrics(font());
    const int b = int(0.8 * m.touchTarget);
    const int g = 4 * m.hairline;
    const int k = int(0.34 * m.touchTarget);
    // Two passes: %1..%9 first, then %10..%17 are the lowest left.
    const QString sheet =
        QStringLiteral(
            "QToolButton#zoomMinus, QToolButton#zoomPlus { color: %1; background: transparent; border: %2 solid %3; "
            "border-radius: %4; }"
            "QToolButton#zoomMinus:hover, QToolButton#zoomPlus:hover { background: %5; }"
            "QToolButton#zoomMinus:pressed, QToolButton#zoomPlus:pressed { background: %6; }"
            "QToolButton#zoomPercent { color: %7; background: %8; border: none; border-radius: %9; }"
            "QToolButton#zoomPercent:hover { background: %5; color: %1; }"
            "QToolButton#zoomPercent:pressed { background: %6; }"
            "QSlider#zoomSlider { background: transparent; }"
            "QSlider#zoomSlider::groove:horizontal { height: %10; background: %17; border-radius: %11; }"
            "QSlider#zoomSlider::sub-page:horizontal { height: %10; background: %14; border-radius: %11; }"
            "QSlider#zoomSlider::handle:horizontal { width: %12; height: %12; margin: -%13 0; background: %14; "
            "border: none; border-radius: %15; }"
            "QSlider#zoomSlider::groove:horizontal:focus { background: %16; }")
            .arg(cssColor(t.text), cssPx(m.hairline), cssColor(t.border), cssPx(b / 2), cssColor(t.hover),
                 cssColor(t.pressed), cssColor(t.textMuted), cssColor(t.fillStrong), cssPx(10))
            .arg(cssPx(g), cssPx(g / 2), cssPx(k), cssPx((k - g) / 2), cssColor(t.accent), cssPx(k / 2),
                 cssColor(t.accentSoft), cssColor(t.secondaryContainer));
    setStyleSheet(sheet);
}
