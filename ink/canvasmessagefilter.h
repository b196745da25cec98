#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QPointer>

class QWidget;

// Keeps the system's press-and-hold and long-press right click away from a
// canvas: installed on the application while the canvas lives. Where the
// system has no such gestures it passes every message.
class CanvasMessageFilter : public QAbstractNativeEventFilter
{
public:
    // viewport: the canvas's viewport; messages for other windows pass.
    explicit CanvasMessageFilter(QWidget *viewport);
    ~CanvasMessageFilter() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message,
                           qintptr *result) override;

private:
    QPointer<QWidget> m_viewport;
};
