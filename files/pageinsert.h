#pragma once

#include "files/boardpdf.h"

#include <QString>

// Puts one blank page of a board kind into a lesson's PDF, through qpdf's
// object model: every original object is kept as it was, and a locked PDF
// stays locked with the same passwords.
struct PageInsertRequest
{
    QString sourcePath;    // the PDF as it is shown now
    QString password;      // the one it was opened with (empty: none)
    int after = 0;         // the new page follows this page (0-based)
    BoardStyle style;
    QString target;        // written atomically; the source is never touched
};

// False with a Chinese message (nothing is written then).
bool insertBlankPage(const PageInsertRequest &request, QString *error = nullptr);
