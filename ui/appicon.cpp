#include "ui/appicon.h"

QIcon appIcon()
{
    QIcon icon;
    for (const int size : { 16, 22, 24, 32, 48, 64, 128, 256 })
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/lectern.png").arg(size), QSize(size, size));
    return icon;
}
