#pragma once

#include "files/pageinsert.h"

// The fast way to put a blank page into a big PDF: the original bytes are
// kept as they are and an update section is added after them (the way PDF
// files are edited in place), naming the new page and the page-tree nodes
// that list it. qpdf reads the structure and writes every object; only the
// path from the root to the page is touched, so a 2 000-page book costs
// little more than copying its bytes.
enum class AppendOutcome { Written, NotSuitable, Failed };
// NotSuitable (nothing written) when the file needs a full rewrite
// instead: a locked file, or a page tree whose counts do not add up.
AppendOutcome appendBlankPage(const PageInsertRequest &request, QString *error);
