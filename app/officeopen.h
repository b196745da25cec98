#pragma once

#include "files/officekind.h"

#include <QString>

// The words of the window's open flow for office documents, by kind.

// The open dialog's filters: every supported file first, then each kind.
QString openDialogFilter();
// Shown when no converter for kind is installed.
QString noConverterText(OfficeKind kind);
// The advice after a failed conversion of kind.
QString conversionHint(OfficeKind kind);
