#include "files/pagerenderoptions.h"

QPdfDocumentRenderOptions pageRenderOptions()
{
    // The page's own annotations (highlights, stamps, filled forms) are part
    // of what the teacher expects to see and export.
    QPdfDocumentRenderOptions options;
    options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
    return options;
}
