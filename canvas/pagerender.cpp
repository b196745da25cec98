#include "canvas/pdfcanvas.h"

#include "files/pagerenderoptions.h"

#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>
#include <QPdfPageRenderer>

#include <algorithm>
#include <cmath>

// Whole-page renders: thumbnails on the renderer's worker thread for the page
// grid, and exact-size page images for exports.

QSize PdfCanvas::thumbnailSize(int page, const QSize &requested) const
{
    const QSizeF pt = pageSizePt(page);
    int width = requested.width() > 0 ? requested.width() : int(std::lround(pt.width()));
    width = std::clamp(width, 1, 2048);
    int height = pt.width() > 0 ? int(std::lround(pt.height() * width / pt.width()))
                                : requested.height();
    height = std::clamp(height, 1, 4096);
    return QSize(width, height);
}

quint64 PdfCanvas::requestThumbnail(int page, const QSize &requested)
{
    if (!m_renderer || !m_document || page < 0 || page >= pageCount())
        return 0;
    const quint64 id = m_renderer->requestPage(page, thumbnailSize(page, requested),
                                               pageRenderOptions());
    if (id != 0)
        m_thumbnailIds.insert(id);
    return id;
}

QImage PdfCanvas::renderPageImage(int page, const QSize &requested)
{
    if (!m_document || page < 0 || page >= pageCount() || requested.isEmpty())
        return QImage();
    return m_document->render(page, requested, pageRenderOptions());
}
