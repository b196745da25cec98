#include "probe/touchprobewindow.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"
#include "system/diaglog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabletEvent>
#include <QTimer>
#include <QTouchEvent>

#include <algorithm>

using namespace TouchProbe;

namespace {

constexpr int kDeviceRefreshMs = 2000;

QString devicesText(const QVector<DeviceText> &devices)
{
    QStringList parts;
    for (const DeviceText &d : devices)
        parts << d.name + QStringLiteral("（") + d.detail + QStringLiteral("）");
    return QStringLiteral("设备%1个：").arg(devices.size()) + parts.join(QStringLiteral("；"));
}

QString palmButtonText(bool on)
{
    return on ? QStringLiteral("手掌擦除：开") : QStringLiteral("手掌擦除：关");
}

} // namespace

TouchProbeWindow::TouchProbeWindow(QWidget *parent)
    : QWidget(parent)
    , m_logTimer(new QTimer(this))
    , m_deviceTimer(new QTimer(this))
    , m_close(new QPushButton(QStringLiteral("关闭"), this))
    , m_clear(new QPushButton(QStringLiteral("清除"), this))
    , m_palm(new QPushButton(palmButtonText(false), this))
{
    setObjectName(QStringLiteral("touchProbe"));
    setWindowTitle(QStringLiteral("青简批注 · 触摸诊断"));
    setAttribute(Qt::WA_AcceptTouchEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Esc must work before anything was touched.
    setFocusPolicy(Qt::StrongFocus);
    m_clock.start();

    m_close->setObjectName(QStringLiteral("probeClose"));
    m_clear->setObjectName(QStringLiteral("probeClear"));
    m_palm->setObjectName(QStringLiteral("probePalm"));
    m_palm->setCheckable(true);
    for (QPushButton *button : { m_close, m_clear, m_palm }) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
    }
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_clear, &QPushButton::clicked, this, &TouchProbeWindow::clear);
    connect(m_palm, &QPushButton::toggled, this, &TouchProbeWindow::setPalmSwitchOn);

    m_logTimer->setSingleShot(true);
    connect(m_logTimer, &QTimer::timeout, this, &TouchProbeWindow::flushLog);
    // Qt learns of a tablet or a touch screen only when it is first used.
    m_deviceTimer->setInterval(kDeviceRefreshMs);
    connect(m_deviceTimer, &QTimer::timeout, this, &TouchProbeWindow::refreshDevices);
    m_deviceTimer->start();
    // Pen proximity is sent to the application, not to a widget.
    qApp->installEventFilter(this);

    applyStyle();
    // One opening line, so the throttle cannot merge the devices away.
    m_devices = describeDevices(QInputDevice::devices());
    QString opening = QStringLiteral("打开");
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        opening += QStringLiteral(" 屏幕%1×%2 DPR%3")
                       .arg(screen->geometry().width())
                       .arg(screen->geometry().height())
                       .arg(screen->devicePixelRatio());
    }
    logProbe(opening + QLatin1Char(' ') + devicesText(m_devices), true);
}

TouchProbeWindow::~TouchProbeWindow()
{
    qApp->removeEventFilter(this);
    if (isLogEnabled()) {
        const QString last = m_throttle.drain();
        if (!last.isEmpty())
            logInfo(QStringLiteral("input"), last);
    }
}

void TouchProbeWindow::touchFrame(QEvent::Type type, const QVector<ProbePoint> &points,
                                  quint64 timestamp)
{
    const FrameView before = m_touch.last;
    const int ghostsBefore = m_touch.ghostCount;
    const FrameView frame = TouchProbe::touchFrame(m_touch, type, points, timestamp);

    if (type == QEvent::TouchBegin)
        m_touchTrails.clear();
    for (const ContactView &c : frame.contacts) {
        if (!c.active)
            continue;
        QVector<QPointF> &trail = m_touchTrails[c.point.contact.id];
        trail.append(c.point.contact.pos);
        if (trail.size() > kTouchTrailLength)
            trail.remove(0, trail.size() - kTouchTrailLength);
    }

    const QString line = touchEventLine(frame, m_touch);
    addEventLine(line);
    const bool notable = type != QEvent::TouchUpdate
            || frame.touchClass.kind != before.touchClass.kind
            || frame.touchClass.write != before.touchClass.write
            || frame.activeCount != before.activeCount || m_touch.ghostCount != ghostsBefore;
    logProbe(QStringLiteral("touch ") + line, notable);
    update();
}

void TouchProbeWindow::penSample(const PenSample &sample)
{
    const bool notable = !m_penSeen || sample.pointer != m_lastPen.pointer
            || (sample.phase != PenPhase::Move && sample.phase != PenPhase::Hover);
    m_pen.add(sample);
    const QPointF keep = m_lastPen.pos;
    m_lastPen = sample;
    if (sample.phase == PenPhase::Near || sample.phase == PenPhase::Away)
        m_lastPen.pos = keep;
    m_penSeen = true;
    const QString line = penEventLine(sample);
    addEventLine(line);
    logProbe(QStringLiteral("pen ") + line, notable);
    update();
}

bool TouchProbeWindow::palmSwitchOn() const
{
    return m_touch.palmSwitch == TouchInput::PalmSwitch::On;
}

void TouchProbeWindow::setPalmSwitchOn(bool on)
{
    if (m_palm->isChecked() != on)
        m_palm->setChecked(on); // comes back here through toggled
    if (on == palmSwitchOn())
        return;
    setPalmSwitch(m_touch, on ? TouchInput::PalmSwitch::On : TouchInput::PalmSwitch::Off);
    m_palm->setText(palmButtonText(on));
    addEventLine(palmButtonText(on));
    logProbe(palmButtonText(on), true);
    update();
}

void TouchProbeWindow::clear()
{
    m_touchTrails.clear();
    m_pen.samples.clear();
    m_events.clear();
    m_touch.ghostCount = 0;
    update();
}

void TouchProbeWindow::refreshDevices()
{
    const QVector<DeviceText> devices = describeDevices(QInputDevice::devices());
    const auto same = [](const DeviceText &a, const DeviceText &b) {
        return a.name == b.name && a.detail == b.detail;
    };
    if (devices.size() == m_devices.size()
        && std::equal(devices.cbegin(), devices.cend(), m_devices.cbegin(), same))
        return;
    m_devices = devices;
    logProbe(devicesText(devices), true);
    update();
}

bool TouchProbeWindow::onControl(QPointF globalPos) const
{
    const QWidget *child = childAt(mapFromGlobal(globalPos).toPoint());
    return child && child->isVisible();
}

bool TouchProbeWindow::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel: {
        auto *touch = static_cast<QTouchEvent *>(event);
        // A finger on a button is left unhandled, so Qt turns it into the
        // mouse click the button understands.
        if (event->type() == QEvent::TouchBegin && !touch->points().isEmpty()
            && onControl(touch->points().constFirst().globalPosition())) {
            addEventLine(eventTypeName(event->type()) + QStringLiteral(" → 按钮"));
            event->ignore();
            return false;
        }
        handleTouch(touch);
        event->accept();
        return true;
    }
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease: {
        auto *tablet = static_cast<QTabletEvent *>(event);
        // A pen stroke that starts on a button stays the button's until the
        // pen lifts: Qt turns it into mouse events there.
        if (event->type() == QEvent::TabletPress)
            m_penOnControl = onControl(tablet->globalPosition());
        const bool control = m_penOnControl
                || (event->type() == QEvent::TabletMove && tablet->buttons() == Qt::NoButton
                    && onControl(tablet->globalPosition()));
        if (event->type() == QEvent::TabletRelease)
            m_penOnControl = false;
        if (control) {
            event->ignore();
            return false;
        }
        penSample(penSampleFromEvent(*tablet));
        event->accept();
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        handlePointer(static_cast<QSinglePointEvent *>(event));
        break;
    case QEvent::FontChange:
        applyStyle();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool TouchProbeWindow::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::TabletEnterProximity
         || event->type() == QEvent::TabletLeaveProximity)
        && watched == qApp) {
        penSample(penSampleFromEvent(*static_cast<QTabletEvent *>(event)));
    }
    return QWidget::eventFilter(watched, event);
}

void TouchProbeWindow::handleTouch(QTouchEvent *event)
{
    QVector<ProbePoint> points;
    points.reserve(event->points().size());
    for (const QEventPoint &point : event->points())
        points.append(probePointFromEventPoint(point));
    touchFrame(event->type(), points, event->timestamp());
}

void TouchProbeWindow::handlePointer(QSinglePointEvent *event)
{
    const QString line = pointerEventLine(*event);
    addEventLine(line);
    logProbe(QStringLiteral("pointer ") + line, event->type() != QEvent::MouseMove);
    update();
}

void TouchProbeWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TouchProbeWindow::closeEvent(QCloseEvent *event)
{
    logProbe(QStringLiteral("关闭"), true);
    QWidget::closeEvent(event);
    emit closed();
}

void TouchProbeWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void TouchProbeWindow::addEventLine(const QString &line)
{
    m_events.prepend(line);
    if (m_events.size() > kMaxEventLines)
        m_events.erase(m_events.begin() + kMaxEventLines, m_events.end());
}

void TouchProbeWindow::logProbe(const QString &line, bool notable)
{
    if (!isLogEnabled())
        return;
    const qint64 now = m_clock.elapsed();
    const QString out = m_throttle.offer(now, QStringLiteral("probe ") + line, notable);
    if (!out.isEmpty())
        logInfo(QStringLiteral("input"), out);
    const qint64 wait = m_throttle.waitMs(now);
    if (wait >= 0 && !m_logTimer->isActive())
        m_logTimer->start(int(wait));
}

void TouchProbeWindow::flushLog()
{
    const qint64 now = m_clock.elapsed();
    const QString out = m_throttle.flush(now);
    if (!out.isEmpty() && isLogEnabled())
        logInfo(QStringLiteral("input"), out);
    const qint64 wait = m_throttle.waitMs(now);
    if (wait >= 0)
        m_logTimer->start(int(wait));
}

TouchProbeWindow::Layout TouchProbeWindow::layoutFor(const QSize &size) const
{
    const UiMetrics m = uiMetrics(font());
    const int h = QFontMetrics(font()).height();
    const int barHeight = int(m.touchTarget * 1.25) + 2 * m.gapM;
    const int panelWidth = std::min(size.width() / 2, std::max(int(size.width() * 0.3), 20 * h));
    Layout l;
    l.bar = QRect(0, 0, size.width(), barHeight);
    l.panel = QRect(size.width() - panelWidth, barHeight, panelWidth, size.height() - barHeight);
    l.surface = QRect(0, barHeight, size.width() - panelWidth, size.height() - barHeight);
    return l;
}

void TouchProbeWindow::layoutControls()
{
    const UiMetrics m = uiMetrics(font());
    const Layout l = layoutFor(size());
    // The way out is the largest target on the screen.
    const int closeHeight = int(m.touchTarget * 1.25);
    const int closeWidth = std::max(3 * m.touchTarget, m_close->sizeHint().width());
    int right = l.bar.right() - m.gapL;
    m_close->setGeometry(right - closeWidth + 1, l.bar.center().y() - closeHeight / 2, closeWidth,
                         closeHeight);
    right -= closeWidth + m.gapL;
    for (QPushButton *button : { m_clear, m_palm }) {
        const int width = std::max(2 * m.touchTarget, button->sizeHint().width());
        button->setGeometry(right - width + 1, l.bar.center().y() - m.touchTarget / 2, width,
                            m.touchTarget);
        right -= width + m.gapM;
    }
}

void TouchProbeWindow::applyStyle()
{
    const Theme &t = theme();
    const UiMetrics m = uiMetrics(font());
    const QString sheet = QStringLiteral(
        "QPushButton#probeClose { background: %1; color: %2; border: none; border-radius: %3;"
        " padding: 0 %4; }"
        "QPushButton#probeClose:pressed { background: %5; color: %6; }"
        "QPushButton#probeClear, QPushButton#probePalm { background: %7; color: %8;"
        " border: %9 solid %10; border-radius: %3; padding: 0 %11; }"
        "QPushButton#probeClear:pressed, QPushButton#probePalm:pressed { background: %12; }"
        "QPushButton#probePalm:checked { background: %13; color: %14; border-color: %13; }");
    setStyleSheet(sheet.arg(cssColor(t.error), cssColor(t.onError), cssPx(m.gapM), cssPx(m.gapXl),
                            cssColor(t.errorContainer), cssColor(t.onErrorContainer),
                            cssColor(t.surfaceContainerHigh), cssColor(t.text), cssPx(m.hairline))
                      .arg(cssColor(t.border), cssPx(m.gapL), cssColor(t.pressed),
                           cssColor(t.accent), cssColor(t.onAccent)));
    m_close->setFont(scaledFont(font(), 1.3, QFont::Bold));
    m_clear->setFont(scaledFont(font(), 1.1, QFont::DemiBold));
    m_palm->setFont(scaledFont(font(), 1.1, QFont::DemiBold));
    layoutControls();
}

int runTouchProbe()
{
    TouchProbeWindow window;
    QObject::connect(&window, &TouchProbeWindow::closed, qApp, &QCoreApplication::quit);
    window.showFullScreen();
    window.activateWindow();
    return QApplication::exec();
}
