#include "ink/canvasmessagefilter.h"

// X11 and Wayland send no press-and-hold or right-click gesture messages to
// suppress, so everything passes.
bool CanvasMessageFilter::nativeEventFilter(const QByteArray &eventType, void *message,
                                            qintptr *result)
{
    Q_UNUSED(eventType);
    Q_UNUSED(message);
    Q_UNUSED(result);
    return false;
}
