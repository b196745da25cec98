#include "probe/touchprobetext.h"

#include <QMetaEnum>
#include <QPointingDevice>
#include <QStringList>
#include <QWheelEvent>

using namespace TouchInput;

namespace TouchProbe {

namespace {

QString contactStateName(ContactState state)
{
    switch (state) {
    case ContactState::Pressed: return QStringLiteral("按下");
    case ContactState::Moved: return QStringLiteral("移动");
    case ContactState::Stationary: return QStringLiteral("静止");
    case ContactState::Released: return QStringLiteral("抬起");
    }
    return QString();
}

QString number(double v, int decimals = 1)
{
    return QString::number(v, 'f', decimals);
}

QString position(QPointF p)
{
    return QStringLiteral("(%1,%2)").arg(qRound(p.x())).arg(qRound(p.y()));
}

} // namespace

QString eventTypeName(QEvent::Type type)
{
    const char *key = QMetaEnum::fromType<QEvent::Type>().valueToKey(int(type));
    return key ? QString::fromLatin1(key) : QString::number(int(type));
}

QString frameClassName(const TouchClass &touchClass)
{
    switch (touchClass.kind) {
    case TouchKind::None: return QStringLiteral("无触点");
    case TouchKind::Write: return touchClass.write ? QStringLiteral("书写") : QStringLiteral("不书写");
    case TouchKind::Pinch: return QStringLiteral("双指缩放");
    case TouchKind::Palm: return QStringLiteral("手掌");
    }
    return QString();
}

QString roleName(ContactRole role)
{
    switch (role) {
    case ContactRole::Writing: return QStringLiteral("书写");
    case ContactRole::Resting: return QStringLiteral("搁置");
    case ContactRole::Palm: return QStringLiteral("手掌");
    case ContactRole::Pinch: return QStringLiteral("双指");
    case ContactRole::Ignored: return QStringLiteral("不计");
    }
    return QString();
}

QString ghostName(GhostReason reason)
{
    switch (reason) {
    case GhostReason::None: return QString();
    case GhostReason::Jump: return QStringLiteral("鬼点·跳变");
    case GhostReason::Stray: return QStringLiteral("鬼点·远处落下");
    }
    return QString();
}

QString pointerName(QPointingDevice::PointerType pointer)
{
    switch (pointer) {
    case QPointingDevice::PointerType::Pen: return QStringLiteral("笔尖");
    case QPointingDevice::PointerType::Eraser: return QStringLiteral("橡皮端");
    case QPointingDevice::PointerType::Finger: return QStringLiteral("手指");
    case QPointingDevice::PointerType::Generic: return QStringLiteral("鼠标类");
    case QPointingDevice::PointerType::Cursor: return QStringLiteral("定位器");
    default: return QStringLiteral("未知");
    }
}

QString penPhaseName(PenPhase phase)
{
    switch (phase) {
    case PenPhase::Hover: return QStringLiteral("悬停");
    case PenPhase::Press: return QStringLiteral("按下");
    case PenPhase::Move: return QStringLiteral("移动");
    case PenPhase::Release: return QStringLiteral("抬起");
    case PenPhase::Near: return QStringLiteral("靠近");
    case PenPhase::Away: return QStringLiteral("离开");
    }
    return QString();
}

QString deviceTypeName(QInputDevice::DeviceType type)
{
    switch (type) {
    case QInputDevice::DeviceType::Mouse: return QStringLiteral("鼠标");
    case QInputDevice::DeviceType::TouchScreen: return QStringLiteral("触摸屏");
    case QInputDevice::DeviceType::TouchPad: return QStringLiteral("触摸板");
    case QInputDevice::DeviceType::Puck: return QStringLiteral("数位板定位器");
    case QInputDevice::DeviceType::Stylus: return QStringLiteral("手写笔");
    case QInputDevice::DeviceType::Airbrush: return QStringLiteral("喷笔");
    case QInputDevice::DeviceType::Keyboard: return QStringLiteral("键盘");
    default: return QStringLiteral("未知");
    }
}

QString capabilityNames(QInputDevice::Capabilities capabilities)
{
    if (capabilities == QInputDevice::Capability::None)
        return QStringLiteral("无");
    const QMetaEnum names = QMetaEnum::fromType<QInputDevice::Capabilities>();
    return QString::fromLatin1(names.valueToKeys(int(capabilities.toInt())));
}

QVector<DeviceText> describeDevices(const QList<const QInputDevice *> &devices)
{
    QVector<DeviceText> out;
    for (const QInputDevice *device : devices) {
        if (!device)
            continue;
        DeviceText text;
        text.name = device->name().isEmpty() ? QStringLiteral("（无名称）") : device->name();
        QStringList parts{ deviceTypeName(device->type()) };
        if (const auto *pointing = qobject_cast<const QPointingDevice *>(device)) {
            if (device->type() == QInputDevice::DeviceType::TouchScreen
                || device->type() == QInputDevice::DeviceType::TouchPad) {
                parts << QStringLiteral("最多 %1 点").arg(pointing->maximumPoints());
                // Without contact areas the palm detector falls back to clusters.
                parts << (device->hasCapability(QInputDevice::Capability::Area)
                              ? QStringLiteral("报告接触面积")
                              : QStringLiteral("不报告接触面积"));
            } else if (pointing->buttonCount() > 0) {
                parts << QStringLiteral("%1 键").arg(pointing->buttonCount());
            }
        }
        parts << capabilityNames(device->capabilities());
        text.detail = parts.join(QStringLiteral(" · "));
        out.append(text);
    }
    return out;
}

QString touchEventLine(const FrameView &frame, const TouchState &state)
{
    QStringList parts;
    parts << eventTypeName(frame.type) << QStringLiteral("%1ms").arg(frame.timestamp);
    if (frame.type != QEvent::TouchCancel)
        parts << frameClassName(frame.touchClass);
    parts << QStringLiteral("活动%1/%2").arg(frame.activeCount).arg(frame.contacts.size())
          << QStringLiteral("簇%1").arg(frame.clusters)
          << QStringLiteral("手掌擦除%1").arg(state.palmSwitch == PalmSwitch::On
                                                 ? QStringLiteral("开")
                                                 : QStringLiteral("关"))
          << QStringLiteral("基准%1").arg(state.palm.calibrated ? number(state.palm.reference)
                                                              : QStringLiteral("-"));
    if (frame.pinching)
        parts << QStringLiteral("缩放×%1").arg(number(frame.pinchZoom, 3));
    for (const ContactView &c : frame.contacts) {
        QString text = QStringLiteral("#%1%2 %3")
                           .arg(c.point.contact.id)
                           .arg(position(c.point.contact.pos),
                                contactStateName(c.point.contact.state));
        if (c.size > 0)
            text += QStringLiteral(" %1×%2")
                        .arg(number(c.point.contact.ellipse.width()),
                             number(c.point.contact.ellipse.height()));
        if (c.active)
            text += QLatin1Char(' ') + roleName(c.role);
        if (c.ghost != GhostReason::None)
            text += QLatin1Char(' ') + ghostName(c.ghost);
        parts << QLatin1Char('[') + text + QLatin1Char(']');
    }
    return parts.join(QLatin1Char(' '));
}

QString penEventLine(const PenSample &sample)
{
    QStringList parts{ eventTypeName(sample.type), QStringLiteral("%1ms").arg(sample.timestamp),
                       pointerName(sample.pointer), penPhaseName(sample.phase) };
    if (sample.phase != PenPhase::Near && sample.phase != PenPhase::Away) {
        parts << position(sample.pos) << QStringLiteral("压力%1").arg(number(sample.pressure, 2));
        if (sample.xTilt != 0 || sample.yTilt != 0)
            parts << QStringLiteral("倾斜%1°,%2°").arg(number(sample.xTilt, 0),
                                                       number(sample.yTilt, 0));
    }
    if (!sample.deviceName.isEmpty())
        parts << sample.deviceName;
    return parts.join(QLatin1Char(' '));
}

QString pointerEventLine(const QSinglePointEvent &event)
{
    QStringList parts{ eventTypeName(event.type()), QStringLiteral("%1ms").arg(event.timestamp()),
                       position(event.position()) };
    if (event.type() == QEvent::Wheel) {
        const QPoint delta = static_cast<const QWheelEvent &>(event).angleDelta();
        parts << QStringLiteral("滚动%1,%2").arg(delta.x()).arg(delta.y());
    } else {
        parts << QStringLiteral("按键%1").arg(int(event.buttons().toInt()), 0, 16);
    }
    if (const QPointingDevice *device = event.pointingDevice())
        parts << deviceTypeName(device->type()) + QLatin1Char(':') + device->name();
    return parts.join(QLatin1Char(' '));
}

} // namespace TouchProbe
