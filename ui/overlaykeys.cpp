#include "ui/overlaykeys.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

bool panelTakesKey(const QWidget *panel, const QObject *target)
{
    if (!panel || !panel->isVisible() || !target)
        return false;
    const QWidget *window = panel->window();
    if (QApplication::activeWindow() != window || QApplication::activePopupWidget())
        return false;
    if (const QWidget *modal = QApplication::activeModalWidget(); modal && modal != window)
        return false;
    if (target->isWidgetType())
        return static_cast<const QWidget *>(target)->window() == window;
    return target->isWindowType() && target == window->windowHandle();
}
