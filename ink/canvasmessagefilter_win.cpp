#include "ink/canvasmessagefilter.h"

#include "system/diaglog.h"

#include <QCursor>
#include <QWidget>

#include <windows.h>

namespace {

constexpr UINT kQuerySystemGestureStatus = 0x02CC;
// TABLET_DISABLE_PRESSANDHOLD | _PENTAPFEEDBACK | _PENBARRELFEEDBACK | _TOUCHUIFORCEON
constexpr qintptr kGesturesOff = 0x119;

} // namespace

bool CanvasMessageFilter::nativeEventFilter(const QByteArray &eventType, void *message,
                                            qintptr *result)
{
    if (eventType != "windows_generic_MSG" && eventType != "windows_dispatcher_MSG")
        return false;
    QWidget *viewport = m_viewport.data();
    if (!viewport || !message || !result)
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    QWidget *top = viewport->window();
    if (!top || msg->hwnd != reinterpret_cast<HWND>(top->winId()))
        return false;
    switch (msg->message) {
    case kQuerySystemGestureStatus: {
        *result = kGesturesOff;
        static bool logged = false;
        if (!logged) {
            logged = true;
            logInfo(QStringLiteral("input"), QStringLiteral("已向系统关闭长按 / 右键手势"));
        }
        return true;
    }
    case WM_CONTEXTMENU:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
        if (viewport->isVisible()
            && viewport->rect().contains(viewport->mapFromGlobal(QCursor::pos()))) {
            *result = 0;
            return true;
        }
        return false;
    default:
        return false;
    }
}
