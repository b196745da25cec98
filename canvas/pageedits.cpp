// Page edits of the canvas: another PDF of the same lesson shown in place
// of the current one without losing ink, undo or the place in the lesson,
// and the "＋" tile that ends a board.
#include "canvas/pdfcanvas.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"
#include "system/diaglog.h"

#include <QFontMetricsF>
#include <QPdfDocument>
#include <QPdfPageRenderer>
#include <QPushButton>

#include <algorithm>
#include <cmath>

bool PdfCanvas::reloadKeepingInk(const QString &path, QString *error)
{
    auto *document = new QPdfDocument(this);
    document->setPassword(m_password);
    const QPdfDocument::Error loadError = document->load(path);
    if (loadError != QPdfDocument::Error::None || document->status() != QPdfDocument::Status::Ready
        || document->pageCount() <= 0) {
        if (error)
            *error = QStringLiteral("无法读取 %1（错误 %2）").arg(path).arg(int(loadError));
        logInfo(QStringLiteral("open"), QStringLiteral("页面重排后的 PDF 无法读取：%1").arg(path));
        delete document;
        return false;
    }
    const int page = currentPage();
    cancelStroke();
    stopFling();
    stopSizeReading();
    detachDocument();
    m_document = document;
    m_renderer->setDocument(m_document);
    m_path = path;
    m_thumbnailIds.clear();
    ++m_documentSerial;
    startSizeReading(m_document->pagePointSize(0));
    dropAllTiles();
    relayout();
    goToPage(std::min(page, pageCount() - 1));
    ensureVisibleSizes();
    placeAddPageTile();
    viewport()->update();
    emit pageChanged(currentPage(), pageCount());
    return true;
}

bool PdfCanvas::replacePages(const QString &pdfPath, const InkPages &ink, QString *error)
{
    if (!m_document)
        return false;
    const QString before = m_path;
    if (!reloadKeepingInk(pdfPath, error))
        return false;
    if (m_layoutPaths.isEmpty())
        m_layoutPaths.append(before);
    // A layout undone and then replaced by a new edit is never shown again.
    m_layoutPaths = m_layoutPaths.mid(0, m_history.layout() + 1);
    m_layoutPaths.append(pdfPath);
    m_history.changeLayout(int(m_layoutPaths.size()) - 1, ink);
    viewport()->update();
    emit inkChanged(strokeCount());
    emit undoStateChanged();
    emit pagesReplaced(pdfPath);
    return true;
}

void PdfCanvas::followInkLayout(bool undone)
{
    const int layout = m_history.layout();
    if (layout < 0 || layout >= m_layoutPaths.size() || m_layoutPaths.at(layout) == m_path)
        return;
    const QString path = m_layoutPaths.at(layout);
    QString error;
    if (reloadKeepingInk(path, &error)) {
        emit pagesReplaced(path);
        return;
    }
    // The ink must stay on the pages it was drawn on: the step is taken back.
    if (undone)
        m_history.redo();
    else
        m_history.undo();
}

void PdfCanvas::setAddPageTile(bool on)
{
    if (on == (m_addPageTile != nullptr))
        return;
    if (!on) {
        delete m_addPageTile;
        m_addPageTile = nullptr;
    } else {
        auto *tile = new QPushButton(QStringLiteral("＋  添加一页"), viewport());
        tile->setObjectName(QStringLiteral("addPageTile"));
        tile->setFocusPolicy(Qt::NoFocus);
        tile->setCursor(Qt::PointingHandCursor);
        const Theme &t = theme();
        tile->setStyleSheet(QStringLiteral("QPushButton#addPageTile { background: %1; color: %2; border: 2px dashed %3; "
                                           "border-radius: 14px; font-size: %4px; }"
                                           "QPushButton#addPageTile:pressed { background: %5; }")
                                .arg(cssColor(t.paper), cssColor(t.textMuted), cssColor(t.border))
                                .arg(int(std::lround(QFontMetricsF(font()).height() * 1.4)))
                                .arg(cssColor(t.desk)));
        connect(tile, &QPushButton::clicked, this, &PdfCanvas::addPageRequested);
        m_addPageTile = tile;
        tile->show();
    }
    // The tile takes room below the last page.
    m_layoutKey = LayoutKey();
    relayout();
    placeAddPageTile();
    viewport()->update();
}

double PdfCanvas::addPageTileHeight() const
{
    if (!m_addPageTile)
        return 0;
    const UiMetrics metrics = uiMetricsForHeight(std::max(QFontMetricsF(font()).height(), 12.0));
    return std::max(metrics.touchTarget * 1.6, 72.0);
}

void PdfCanvas::placeAddPageTile()
{
    if (!m_addPageTile)
        return;
    if (m_slots.isEmpty()) {
        m_addPageTile->hide();
        return;
    }
    const QRectF last = slotRect(int(m_slots.size()) - 1);
    const double height = addPageTileHeight();
    m_addPageTile->setGeometry(QRect(int(std::lround(last.left())), int(std::lround(last.bottom() + m_pageGap)),
                                     int(std::lround(last.width())), int(std::lround(height))));
    m_addPageTile->show();
    m_addPageTile->raise();
}
