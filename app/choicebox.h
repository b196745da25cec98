#pragma once

#include <QMessageBox>

// A choice box titled and worded as given; its buttons are added by the
// caller.
void setUpChoiceBox(QMessageBox &box, const QString &objectName, QMessageBox::Icon icon,
                    const QString &title, const QString &text, const QString &informative);

// Runs box with every button large enough for a finger.
void execForTouch(QMessageBox &box);
