#include "island/palettecard.h"

#include "ui/theme.h"
#include "canvas/pdfcanvas.h"
#include "island/inktoolbar.h"
#include "ui/overlaykeys.h"

#include <QApplication>
#include <QEasingCurve>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolButton>
#include <QTouchEvent>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>

namespace {

constexpr int kOpenMs = 300;
constexpr int kShadowAlpha = 48;

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

} // namespace

PaletteCard::PaletteCard(PdfCanvas *canvas, QWidget *anchor, const QString &frameName)
    : QWidget(anchor->parentWidget())
    , m_canvas(canvas)
    , m_anchor(anchor)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Presses, touches and pen taps on a card are the card's, never ink.
    setAttribute(Qt::WA_NoMousePropagation);
    setFocusPolicy(Qt::NoFocus);
    setFont(anchor->font());
    m_metrics = uiMetrics(font(), 0.8, false);
    m_margin = m_metrics.gapL;

    m_frame = new QFrame(this);
    m_frame->setObjectName(frameName);
    m_content = new QVBoxLayout(m_frame);
    m_content->setContentsMargins(m_metrics.gapL, m_metrics.gapM, m_metrics.gapL, m_metrics.gapL);
    m_content->setSpacing(m_metrics.gapXs);

    m_openAnimation = new QVariantAnimation(this);
    m_openAnimation->setDuration(kOpenMs);
    QEasingCurve easing(QEasingCurve::BezierSpline);
    easing.addCubicBezierSegment(QPointF(0.05, 0.7), QPointF(0.1, 1.0), QPointF(1.0, 1.0));
    m_openAnimation->setEasingCurve(easing);
    connect(m_openAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setGeometry(value.toRect()); });
    hide();
}

PaletteCard::~PaletteCard()
{
    if (m_filtering)
        qApp->removeEventFilter(this);
}

PdfCanvas *PaletteCard::canvas() const
{
    return m_canvas;
}

QLabel *PaletteCard::addCaption(const QString &text)
{
    auto *caption = new QLabel(text, m_frame);
    caption->setObjectName(QStringLiteral("paletteCaption"));
    caption->setFont(scaledFont(font(), 0.9, 500));
    m_content->addWidget(caption);
    return caption;
}

QToolButton *PaletteCard::makeButton(const QString &label, const QString &toolTip)
{
    auto *button = new QToolButton(m_frame);
    button->setText(label);
    button->setToolTip(toolTip);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(m_metrics.iconSize, m_metrics.iconSize));
    button->setMinimumSize(m_metrics.toolButtonHeight, m_metrics.toolButtonHeight);
    return button;
}

void PaletteCard::restyle()
{
    const Theme &t = theme();
    const UiMetrics &m = m_metrics;
    const QString name = m_frame->objectName();
    const QString sheet =
            QStringLiteral("QFrame#%1 { background: %2; border: %3 solid %4; border-radius: %5; }"
                           "QFrame#%1 QLabel#paletteCaption { color: %6; background: transparent; "
                           "border: none; padding: 0 %7; }")
                    .arg(name, cssColor(t.bar), cssPx(m.hairline), cssColor(t.border),
                         cssPx(m.extentXl), cssColor(t.textMuted), cssPx(m.gapXs))
            + QStringLiteral("QFrame#%1 QToolButton { color: %2; background: transparent; "
                             "border: none; border-radius: %3; padding: %4 %5; }"
                             "QFrame#%1 QToolButton:hover { background: %6; }"
                             "QFrame#%1 QToolButton:pressed { background: %7; }"
                             "QFrame#%1 QToolButton:checked { background: %8; color: %9; }")
                      .arg(name, cssColor(t.text), cssPx(m.extentL), cssPx(m.inset),
                           cssPx(m.gapM), cssColor(t.hover), cssColor(t.pressed),
                           cssColor(t.accentSoft), cssColor(t.onSecondaryContainer))
            + extraStyleSheet();
    setStyleSheet(sheet);
    m_shadow.setStyle(withAlpha(t.shadow, kShadowAlpha), m_margin, m.hairline, m.extentXl);
    update();
}

QSize PaletteCard::sizeHint() const
{
    return m_frame->sizeHint() + QSize(2 * m_margin, 2 * m_margin);
}

bool PaletteCard::isOpening() const
{
    return m_openAnimation->state() == QAbstractAnimation::Running;
}

void PaletteCard::popUp(QWidget *button)
{
    m_button = button;
    m_openAnimation->stop();
    refresh();
    const QRect target = targetRect();
    const int duration = motionDuration(kOpenMs);
    if (duration <= 0) {
        setGeometry(target);
        show();
        raise();
        return;
    }
    const int strip = std::max(target.height() / 4, 1);
    const QRect start(target.left(), target.bottom() - strip + 1, target.width(), strip);
    setGeometry(start);
    show();
    raise();
    m_openAnimation->setDuration(duration);
    m_openAnimation->setStartValue(start);
    m_openAnimation->setEndValue(target);
    m_openAnimation->start();
}

void PaletteCard::place()
{
    if (!isVisible() || !m_button)
        return;
    const QRect target = targetRect();
    if (isOpening()) {
        // Keep growing, from where the card now belongs.
        const QPoint shift = target.topLeft() - m_openAnimation->endValue().toRect().topLeft();
        m_openAnimation->setStartValue(m_openAnimation->startValue().toRect().translated(shift));
        m_openAnimation->setEndValue(target);
        setGeometry(geometry().translated(shift));
        return;
    }
    setGeometry(target);
}

// Centred above the button, its visible frame one gap above the button's
// top, held inside the host with that gap on every side; below the button
// only when there is no room above.
QRect PaletteCard::targetRect() const
{
    const QSize size = sizeHint();
    QWidget *host = parentWidget();
    if (!m_button)
        return QRect(pos(), size);
    const int gap = m_metrics.gapM;
    const QRect button(m_button->mapToGlobal(QPoint(0, 0)), m_button->size());
    const QRect area = host ? QRect(host->mapToGlobal(QPoint(0, 0)), host->size())
                            : screen()->availableGeometry();
    int x = button.center().x() - size.width() / 2;
    x = std::max(std::min(x, area.right() + 1 - gap - size.width() + m_margin),
                 area.left() + gap - m_margin);
    const int above = button.top() - gap - size.height() + m_margin;
    const int below = button.bottom() + 1 + gap - m_margin;
    const int top = area.top() + gap - m_margin;
    const int bottom = area.bottom() + 1 - gap + m_margin;
    int y = above;
    if (above < top && below + size.height() <= bottom)
        y = below;
    else
        y = std::max(std::min(y, bottom - size.height()), top);
    const QPoint globalTopLeft(x, y);
    const QPoint local = host ? host->mapFromGlobal(globalTopLeft) : globalTopLeft;
    return QRect(local, size);
}

void PaletteCard::layoutFrame()
{
    // While the card grows the frame keeps its full height, anchored to the
    // card's bottom, so the content rises into view instead of stretching.
    const int frameHeight = std::max(height() - 2 * m_margin, m_frame->sizeHint().height());
    m_frame->setGeometry(m_margin, height() - m_margin - frameHeight, width() - 2 * m_margin,
                         frameHeight);
}

void PaletteCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_shadow.paint(painter, m_frame->geometry(), devicePixelRatioF());
}

void PaletteCard::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutFrame();
}

void PaletteCard::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    layoutFrame();
    if (!m_filtering) {
        qApp->installEventFilter(this);
        m_filtering = true;
    }
}

void PaletteCard::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_openAnimation->stop();
    if (m_filtering) {
        qApp->removeEventFilter(this);
        m_filtering = false;
    }
}

bool PaletteCard::isOutside(const QPointF &globalPos) const
{
    const QPoint p = globalPos.toPoint();
    if (rect().contains(mapFromGlobal(p)))
        return false;
    if (!m_anchor || !m_anchor->isVisible())
        return true;
    // The island's shadow margin is the page's: a press there is outside.
    if (const auto *island = qobject_cast<const InkToolbar *>(m_anchor.data()); island && island->parentWidget())
        return !island->chipContains(island->parentWidget()->mapFromGlobal(p));
    return !m_anchor->rect().contains(m_anchor->mapFromGlobal(p));
}

bool PaletteCard::eventFilter(QObject *watched, QEvent *event)
{
    if (!isVisible())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (isOutside(static_cast<QMouseEvent *>(event)->globalPosition()))
            hide();
        break;
    case QEvent::TouchBegin: {
        const auto &points = static_cast<QTouchEvent *>(event)->points();
        const bool outside = std::all_of(points.begin(), points.end(), [this](const QEventPoint &p) {
            return isOutside(p.globalPosition());
        });
        if (!points.isEmpty() && outside)
            hide();
        break;
    }
    case QEvent::ShortcutOverride:
        // An Escape shortcut elsewhere (leaving full screen) must wait for the card.
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && panelTakesKey(this, watched)) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && panelTakesKey(this, watched)) {
            hide();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
