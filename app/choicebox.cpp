#include "app/choicebox.h"

#include "ui/uimetrics.h"

#include <QAbstractButton>

void setUpChoiceBox(QMessageBox &box, const QString &objectName, QMessageBox::Icon icon,
                    const QString &title, const QString &text, const QString &informative)
{
    box.setObjectName(objectName);
    box.setIcon(icon);
    box.setWindowTitle(title);
    box.setText(text);
    box.setInformativeText(informative);
}

void execForTouch(QMessageBox &box)
{
    const int minimumHeight = int(uiMetrics(box.font()).touchTarget * 0.72);
    for (QAbstractButton *button : box.buttons())
        button->setMinimumHeight(minimumHeight);
    box.exec();
}
