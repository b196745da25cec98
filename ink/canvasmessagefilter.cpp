#include "ink/canvasmessagefilter.h"

#include <QCoreApplication>
#include <QWidget>

CanvasMessageFilter::CanvasMessageFilter(QWidget *viewport)
    : m_viewport(viewport)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
}

CanvasMessageFilter::~CanvasMessageFilter()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}
