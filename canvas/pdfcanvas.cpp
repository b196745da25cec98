#include "canvas/pdfcanvas.h"

#include "ui/uimetrics.h"
#include "system/crashreport.h"
#include "system/diaglog.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPdfDocument>
#include <QPdfPageRenderer>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

PdfCanvas::PdfCanvas(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setObjectName(QStringLiteral("pdfCanvas"));
    setStyleSheet(canvasStyleSheet());

    // The eraser (ink half) polls the pointer on this timer.
    m_pointerPollTimer = new QTimer(this);
    m_pointerPollTimer->setInterval(16);
    m_pointerPollTimer->start();

    const double h = std::max(QFontMetricsF(font()).height(), 12.0);
    const UiMetrics metrics = uiMetricsForHeight(h);
    m_pageGap = metrics.pageGap;
    m_sideMargin = metrics.pageSideMargin;
    m_topMargin = metrics.pageTopMargin;
    m_bottomMargin = metrics.pageBottomMargin;
    const int m = int(std::max(1.25 * h, 22.0));
    m_cornerRadius = std::max(m / 6.0, 4.0);
    m_bandHeight = std::max(m * 1.4, 12.0);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &PdfCanvas::onVerticalValueChanged);

    m_zoomSettleTimer = new QTimer(this);
    m_zoomSettleTimer->setSingleShot(true);
    m_zoomSettleTimer->setInterval(160);

    m_clock.start();
    m_glideTimer = new QTimer(this);
    m_glideTimer->setInterval(16);
    m_glideTimer->setTimerType(Qt::PreciseTimer);
    wireZoomTimers();

    createRenderer();
    wireInput();
}

void PdfCanvas::attachIsland(InkToolbar *island, IslandMargin inMargin)
{
    m_inkToolbar = island;
    m_islandMargin = std::move(inMargin);
}

void PdfCanvas::createRenderer()
{
    m_renderer = new QPdfPageRenderer(this);
    m_renderer->setRenderMode(QPdfPageRenderer::RenderMode::MultiThreaded);
    connect(m_renderer, &QPdfPageRenderer::pageRendered, this, &PdfCanvas::onPageRendered);
}

PdfCanvas::~PdfCanvas()
{
    // The renderer's worker must let go of the document before it dies.
    m_renderer->setDocument(nullptr);
    delete m_document;
    m_document = nullptr;
}

void PdfCanvas::detachDocument()
{
    // A fresh renderer for the next document: the old one keeps requests
    // that reached its worker without a document pending for ever, and
    // answers a later identical request with such a stale id.
    m_renderer->setDocument(nullptr);
    delete m_renderer;
    createRenderer();
    if (m_document) {
        m_document->close();
        delete m_document;
        m_document = nullptr;
    }
}

bool PdfCanvas::openPdf(const QString &path, QString *error)
{
    recordOperation("open", path);
    detachDocument();
    m_thumbnailIds.clear();
    ++m_documentSerial;

    auto *document = new QPdfDocument(this);
    document->setPassword(m_password);
    const QPdfDocument::Error loadError = document->load(path);
    m_openNeedsPassword = loadError == QPdfDocument::Error::IncorrectPassword;
    // QtPdf 6.4 may report no error for a file it could not read; only a
    // ready document with pages counts as opened.
    const bool usable = loadError == QPdfDocument::Error::None
            && document->status() == QPdfDocument::Status::Ready && document->pageCount() > 0;
    if (!usable) {
        const QPdfDocument::Error reported =
                loadError != QPdfDocument::Error::None ? loadError : QPdfDocument::Error::Unknown;
        const QString message = QStringLiteral("QPdfDocument::load failed (error %1)")
                                        .arg(int(reported));
        logInfo(QStringLiteral("open"), message + QStringLiteral(": ") + path);
        if (error)
            *error = message;
        delete document;
        // The canvas is left empty, as after a close.
        stopSizeReading();
        m_path.clear();
        m_pageSizes.clear();
        m_slots.clear();
        m_widestPt = 595;
        m_contentHeight = 0;
        m_contentWidth = 0;
        dropAllTiles();
        relayout();
        viewport()->update();
        return false;
    }

    m_document = document;
    m_renderer->setDocument(m_document);
    m_path = path;
    m_layoutPaths = QStringList{ path };
    const int count = m_document->pageCount();
    startSizeReading(m_document->pagePointSize(0));
    resetInkState();
    dropAllTiles();
    relayout();
    verticalScrollBar()->setValue(0);
    ensureVisibleSizes();
    // A canvas already showing slides starts the new deck on its first one.
    if (m_slideMode)
        showSlide(0, SlideMotion::Jump);
    viewport()->update();
    emit pageChanged(currentPage(), count);
    emit inkChanged(0);
    emit undoStateChanged();
    return true;
}

void PdfCanvas::closeDocument()
{
    recordOperation("close", m_path);
    stopFling();
    m_password.clear();
    m_thumbnailIds.clear();
    ++m_documentSerial;
    stopSizeReading();
    detachDocument();
    dropAllTiles();
    m_path.clear();
    m_layoutPaths.clear();
    m_pageSizes.clear();
    m_slots.clear();
    m_contentHeight = 0;
    m_contentWidth = 0;
    m_widestPt = 595;
    resetInkState();
    dropAllTiles();
    verticalScrollBar()->setRange(0, 0);
    horizontalScrollBar()->setRange(0, 0);
    viewport()->update();
    emit pageChanged(0, 0);
    emit inkChanged(0);
    emit undoStateChanged();
}

QSizeF PdfCanvas::pageSizePt(int page) const
{
    if (page < 0 || page >= m_pageSizes.size())
        return QSizeF();
    // Mid-gesture the layout takes no new size; the answer is still true.
    if (gestureHoldsLayout() && m_document && page < m_sizeRead.size() && !m_sizeRead.at(page))
        return m_document->pagePointSize(page);
    ensurePageSize(page);
    return m_pageSizes.at(page);
}

void PdfCanvas::onVerticalValueChanged()
{
    if (!m_slidePlacing)
        m_slideFitted = false;
    ensureVisibleSizes();
    emit pageChanged(currentPage(), pageCount());
}

void PdfCanvas::resizeEvent(QResizeEvent *event)
{
    const bool slideFitted = m_slideMode && m_slideFitted;
    QAbstractScrollArea::resizeEvent(event);
    dropAllTiles();
    relayout();
    ensureVisibleSizes();
    refitSlide(slideFitted);
    viewport()->update();
}

void PdfCanvas::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        viewport()->update();
    // A new canvas style sheet means a new theme: the island follows.
    if (event->type() == QEvent::StyleChange)
        emit styleChanged();
}

void PdfCanvas::checkDeviceRatio()
{
    // Qt 6.4 has no dedicated event for a ratio change (moving to another
    // screen), so the paint path notices it.
    const double ratio = viewport()->devicePixelRatioF();
    if (qFuzzyCompare(ratio, m_lastRatio))
        return;
    const bool first = m_lastRatio <= 0;
    m_lastRatio = ratio;
    if (first)
        return;
    dropAllTiles();
    relayout();
    viewport()->update();
    logInfo(QStringLiteral("view"), QStringLiteral("缩放因子变化：DPR %1").arg(ratio, 0, 'f', 2));
}
