#pragma once

#include "probe/touchprobe.h"

#include <QInputDevice>
#include <QList>
#include <QString>
#include <QVector>

class QSinglePointEvent;

// The words the touch diagnostics window shows and writes to the log.
namespace TouchProbe {

QString eventTypeName(QEvent::Type type);
QString frameClassName(const TouchInput::TouchClass &touchClass);
QString roleName(ContactRole role);
QString ghostName(GhostReason reason);
QString pointerName(QPointingDevice::PointerType pointer);
QString penPhaseName(PenPhase phase);
QString deviceTypeName(QInputDevice::DeviceType type);
QString capabilityNames(QInputDevice::Capabilities capabilities);

struct DeviceText
{
    QString name;
    QString detail;
};
QVector<DeviceText> describeDevices(const QList<const QInputDevice *> &devices);

// One line per event, for the window's list and the diagnostic log.
QString touchEventLine(const FrameView &frame, const TouchState &state);
QString penEventLine(const PenSample &sample);
QString pointerEventLine(const QSinglePointEvent &event);

} // namespace TouchProbe
