#pragma once

#include <QString>

// Sentences that name the operating system's own places and programs (its
// sign-in, its default-apps settings, where settings are stored, the
// LibreOffice program file), in the words of the system the program runs on.

// The autostart row's description.
QString autoStartDescription();
// The file association row's description.
QString fileAssociationDescription();
// What the box after registering tells the teacher to do next; settingsPage
// says whether a "打开设置" button leads to a page that can do it.
QString registrationAdvice(bool settingsPage);
// The LibreOffice chooser: button, dialog title, the refusal of another file,
// and the row's text while none is found.
QString sofficeChooseButtonText();
QString sofficeChooseTitle();
QString sofficeWrongFileText();
QString sofficeMissingText();
// The row that silences Word's "not the default program" reminder.
QString wordReminderDescription();
// A settings write that failed; what names the setting ("外观设置").
QString settingsWriteFailure(const QString &what);
// The advice after a failed Word conversion.
QString conversionFailedHint(bool wordIsDocxDefault);
