#pragma once

#include "ink/inkhistory.h"
#include "ink/strokecapture.h"
#include "canvas/glide.h"
#include "canvas/settle.h"
#include "ink/eraser.h"
#include "ink/touchclassifier.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>

class QPdfDocument;
class QPdfPageRenderer;
class QPdfDocumentRenderOptions;
class QPainter;
class QTimer;
class QMouseEvent;
class QTabletEvent;
class QWheelEvent;
class QNativeGestureEvent;
class QTouchEvent;
class QShowEvent;
class QKeyEvent;
class InkToolbar;

// One open document's view and ink. Members are split over files by concern:
// canvas/pdfcanvas.cpp (construction, document), canvas/layout.cpp,
// canvas/tiles.cpp, canvas/pagerender.cpp, canvas/paint.cpp, and the ink/ files for ink and input.
//
// Coordinate spaces, named in every declaration below:
//   points   - PDF points of one page
//   content  - logical pixels of the whole vertical strip of sheets
//   viewport - logical pixels of what is on screen
//   device   - physical pixels (tiles only)
class PdfCanvas : public QAbstractScrollArea
{
    Q_OBJECT
public:
    enum class InkTool { Pen = 0, Eraser = 1, Move = 2 };
    Q_ENUM(InkTool)

    explicit PdfCanvas(QWidget *parent = nullptr);
    ~PdfCanvas() override;

    // ---- Document & layout (canvas/pdfcanvas.cpp, canvas/layout.cpp) ----
    bool openPdf(const QString &path, QString *error = nullptr);
    // The password the next openPdf tries (empty: none). Kept in memory only,
    // for every later reader of the same PDF (export, reopening); a close
    // forgets it.
    void setPassword(const QString &password) { m_password = password; }
    QString password() const { return m_password; }
    // Whether the last failed openPdf failed for want of the right password.
    bool lastOpenNeedsPassword() const { return m_openNeedsPassword; }
    void closeDocument();
    bool hasDocument() const { return m_document != nullptr; }
    QString path() const { return m_path; }
    int pageCount() const { return int(m_pageSizes.size()); }
    // Reads the page's size first when the background pass has not yet.
    QSizeF pageSizePt(int page) const;
    // Pages whose size has been read from the document (the rest are laid
    // out with an estimate until the background pass reaches them).
    int knownPageSizes() const { return m_knownSizes; }
    // What the layout holds for a page now, never reading the document: its
    // real size once read, else the estimate.
    QSizeF heldPageSizePt(int page) const { return m_pageSizes.value(page); }
    bool isPageSizeRead(int page) const { return m_sizeRead.value(page, false); }
    int currentPage() const;
    void goToPage(int page);
    QRectF pageRect(int page) const;                      // viewport
    int pageAt(const QPointF &viewportPos) const;
    QPointF pageFraction(int page, const QPointF &viewportPos) const;
    void relayout();
    int documentSerial() const { return m_documentSerial; }
    double scale() const { return m_scale; }              // logical pixels per point
    double contentHeight() const { return m_contentHeight; }
    double contentWidth() const { return m_contentWidth; }
    double sheetCornerRadius() const { return m_cornerRadius; }
    // Completed layouts since construction (the cache key skips the rest).
    int layoutCount() const { return m_layoutCount; }
    static int relayoutRefusals();

    // ---- Tiles (canvas/tiles.cpp) ----
    static constexpr int kTileSize = 512;                 // device pixels
    static constexpr qint64 kByteCap = 167772160;         // 160 MiB
    static constexpr qint64 kPageTrimBytes = 100663296;   // 96 MiB
    static constexpr int kMaxRequests = 4;

    void dropAllTiles();
    quint64 requestThumbnail(int page, const QSize &requested);
    QImage renderPageImage(int page, const QSize &requested);
    QSize thumbnailSize(int page, const QSize &requested) const;
    static quint64 tileKey(quint64 generation, int page, int col, int row);

    // Read-only counters for diagnostics, benchmarks and tests.
    int syncRenderCount() const { return m_syncRenders; }
    qint64 tileCacheBytes() const { return m_totalBytes; }
    qint64 byteCap() const { return m_byteCap; }
    int outstandingRequests() const { return int(m_requests.size()); }
    quint64 tileGeneration() const { return m_tileGeneration; }
    QList<int> cachedPages() const { return m_recency; }
    // Device size a page's tiles are held at, and how many of its tiles exist.
    QSize cachedPageSize(int page) const;
    int cachedTileCount(int page) const;
    QSize tileGrid(int page) const;                       // cols x rows

    // ---- Zoom & scrolling (canvas/zoom.cpp, canvas/scrolling.cpp) ----
    static constexpr double kMinZoom = 0.25;
    static constexpr double kMaxZoom = 4.0;
    // Immediate zooms render at once; settling ones rescale the old tiles
    // until the zoom has been still for 160 ms.
    enum class ZoomMode { Settling, Immediate };
    double zoom() const { return m_zoom; }
    // anchor: viewport point whose page point stays put.
    void applyZoom(double zoom, const QPointF &anchor, ZoomMode mode);
    void setZoom(double zoom);
    void fitWidth(bool on);
    void zoomIn();
    void zoomOut();
    bool isZoomInFlight() const { return m_zoomInFlight; }
    // Content follows positive deltas right and down (viewport pixels).
    void scrollBy(double dx, double dy);
    void addPanSample(double dx, double dy);
    bool startFling();
    bool stopFling();
    bool isGliding() const { return m_glide.isRunning(); }
    const Glide &glide() const { return m_glide; }
    static int applyDepth();

    // ---- Slides (canvas/slides.cpp) ----
    // A deck shows one whole slide at a time: fitted so a slide is on
    // screen, stepped one slide per key or swipe and settled centred. Free
    // zoom and scrolling still work; the next step fits again.
    enum class SlideMotion { Jump, Glide };
    void setSlideMode(bool on);
    bool slideMode() const { return m_slideMode; }
    // The PDF says a presentation program made it (Impress, PowerPoint…).
    bool madeFromSlides() const;
    // The slide under the viewport's centre line, else the nearest one.
    int currentSlide() const;
    // The zoom at which slide fits whole in the viewport.
    double slideFitZoom(int slide) const;
    // Scroll values (horizontal, vertical) that centre slide as laid out now.
    QPoint slideScroll(int slide) const;
    // One slide on (+1) or back (-1) from the current one, fitted.
    void stepSlide(int delta);
    void showSlide(int slide, SlideMotion motion);
    bool isSettling() const { return m_settle.isRunning(); }
    // Page Down/Up, Space, the arrows, Home and End in slide mode: steps and
    // returns true; false for other keys or outside slide mode.
    bool handleSlideKey(int key, Qt::KeyboardModifiers modifiers);

    // ---- Page edits (canvas/pageedits.cpp) ----
    // Shows pdfPath (this lesson's pages rearranged) in place of the PDF
    // shown now, with ink (the same ink on the new pages), as one undoable
    // step; undo and redo bring the earlier layout's PDF back. False, with
    // nothing changed, when pdfPath cannot be shown.
    bool replacePages(const QString &pdfPath, const InkPages &ink, QString *error = nullptr);
    // The PDF of each page layout this canvas has shown (0: as opened).
    QStringList layoutPaths() const { return m_layoutPaths; }
    // A board ends in a large "＋" tile that adds a page.
    void setAddPageTile(bool on);
    QWidget *addPageTile() const { return m_addPageTile; }
    // Asks the window for a blank page after page (the page grid's button).
    void requestInsertAfter(int page) { emit insertPageRequested(page); }

    // ---- Painting (canvas/paint.cpp) ----
    void applyCanvasTheme();
    static QString canvasStyleSheet();
    static int paintCount();
    static int paintRefusals();
    // Input counts for the once-per-second probe line.
    static void noteProbeInput(int events, int samples);
    static void noteProbeRaster();

    // ---- Ink model (ink/inkmodel.cpp) ----
    static constexpr double kMinPenWidth = 1;
    static constexpr double kMaxPenWidth = 24;
    InkTool tool() const { return m_tool; }
    void setTool(InkTool tool);
    QColor penColor() const { return m_penColor; }
    void setPenColor(const QColor &color);
    double penWidth() const { return m_penWidth; }        // viewport pixels
    void setPenWidth(double width);
    double eraserRadius() const { return m_eraserRadius; } // viewport pixels
    int strokeCount() const { return m_history.strokeCount(); }
    int undoDepth() const { return m_history.undoDepth(); }
    int redoDepth() const { return m_history.redoDepth(); }
    const InkPages &ink() const { return m_history.ink(); }
    void undo();
    void redo();
    void clearInk();
    void clearPageInk();
    QJsonObject exportAnnotations() const;
    void importAnnotations(const QJsonObject &annotations);

    // ---- Ink capture & painting (ink/capture.cpp, ink/inkpaint.cpp) ----
    // Whether a begin may start an erase gesture regardless of the tool.
    enum class EraseRequest { ByTool, Force };
    // eraseRadius <= 0 uses the selected radius. Points are viewport pixels.
    void beginStroke(const QPointF &viewportPos, EraseRequest erase = EraseRequest::ByTool,
                     double widthFactor = 1.0, double eraseRadius = 0);
    void addStrokePoint(const QPointF &viewportPos, double widthFactor = 1.0);
    void commitStroke();
    bool isDrawing() const { return m_drawing; }
    int livePage() const { return m_livePage; }
    const Stroke &liveStroke() const { return m_liveStroke; }
    // Set by the input handler that begins a stroke; a device only extends,
    // ends or cancels a gesture of its own origin.
    void setStrokeOrigin(StrokeOrigin origin) { m_strokeOrigin = origin; }
    StrokeOrigin strokeOrigin() const { return m_strokeOrigin; }
    // Viewport rectangle the newest sample asked to repaint (null if none).
    QRect lastInkDirtyRect() const { return m_lastInkDirtyRect; }

    // ---- Erasing & input routing (ink/erasing.cpp, ink/input_*.cpp) ----
    void setEraserRadius(double radius);
    bool isErasing() const { return m_erasing; }
    bool eraseAt(int page, const QPointF &viewportPos, double radius);
    bool sweepErase(int pageHint, const QPointF &from, const QPointF &to, double radius);
    void palmEraseAt(const QPointF &centroid, double radius);
    void endPalmErase();
    bool isPalmErasing() const { return m_palmActive; }
    void setPalmEraserEnabled(bool on);
    bool palmEraserEnabled() const { return m_palmEraserEnabled; }
    // Where the eraser ring is drawn and with which radius; radius 0 when hidden.
    double eraserIndicatorRadius() const;
    QPointF eraserHoverPoint() const { return m_hoverPoint; }
    bool touchLock() const { return m_touchLock; }
    bool isPinching() const { return m_pinch.active; }
    bool isTouchSequence() const { return m_touchSequence; }
    // The pen is on the glass, or lifted less than kPenHoldMs ago: touch
    // contacts are a resting hand and leave the ink alone.
    static constexpr int kPenHoldMs = 250;
    // A pen down that sends nothing for this long is gone (its release got
    // lost): the hold ends, so touch, mouse and wheel work again.
    static constexpr int kPenQuietMs = 3000;
    bool penOwnsInk() const;
    bool isPenDown() const { return m_penDown; }
    // Rate-limited "input" diagnostic line.
    void inputLog(const QString &message);
    // A tap at globalPos, pressAgeMs ago, just brought this canvas to the
    // front (a recent file, a tab): a pen or finger landing there again
    // within the double-click interval is that tap's second half, not ink.
    void expectTapEcho(const QPointF &globalPos, qint64 pressAgeMs);

    // ---- The tool island this canvas carries (island/inktoolbar*.cpp) ----
    // Whether a viewport point found on child (the island or one of its
    // widgets) lies in the island's shadow margin, which belongs to the page.
    using IslandMargin = std::function<bool(const QWidget *child, const QPoint &viewportPos)>;
    // Called by the island when it is made; it follows the canvas through
    // the signals below.
    void attachIsland(InkToolbar *island, IslandMargin inMargin);
    InkToolbar *inkToolbar() const { return m_inkToolbar; }

signals:
    void pageChanged(int page, int count);
    void zoomChanged(double zoom);
    void renderMeasured(qlonglong ms, QSize size);
    void thumbnailRendered(qulonglong requestId, QImage image);
    // Ink half.
    void inkChanged(int strokes);
    void undoStateChanged();
    void toolChanged();
    void penChanged();
    void eraserChanged();
    // A new canvas style sheet, that is a new theme.
    void styleChanged();
    // Page edits: the PDF shown now is another file (a page was added, or
    // undo or redo went back to an earlier layout).
    void pagesReplaced(const QString &pdfPath);
    void addPageRequested();
    void insertPageRequested(int afterPage);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // Plain mouse and tablet writing (ink/input_basic.cpp).
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    // ---- Zoom & scrolling (canvas/zoom.cpp, canvas/scrolling.cpp) ----
    void wheelEvent(QWheelEvent *event) override;
    // Slide keys in slide mode (canvas/slides.cpp).
    void keyPressEvent(QKeyEvent *event) override;
    // The application's pen-proximity events while the pen is down.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // ---- Document & layout ----
    struct PageSlot
    {
        double top = 0;    // content
        double width = 0;
        double height = 0;
    };
    struct LayoutKey
    {
        const QPdfDocument *document = nullptr;
        double zoom = 0;
        int width = -1;
        int height = -1;
        int pages = -1;
        double widest = -1;
        bool slides = false;
        bool operator==(const LayoutKey &o) const;
    };
    void detachDocument();
    void createRenderer();
    // Page sizes (canvas/pagesizes.cpp): read lazily so the first paint
    // costs one page, not the whole book.
    void startSizeReading(const QSizeF &firstPage);
    void stopSizeReading();
    bool ensurePageSize(int page) const;
    void readSizeSlice();
    void settleLayout() const;
    void relayoutHoldingCentre();
    void ensureVisibleSizes();
    // A stroke, erase or pinch is live: its geometry must not move, so no
    // size is read and nothing re-lays out until it ends.
    bool gestureHoldsLayout() const;
    bool layoutHeldStill() const;
    QRectF slotRect(int page) const;                      // viewport, as laid out
    int pageAtContentY(double contentY) const;
    void onVerticalValueChanged();
    void checkDeviceRatio();

    QPdfDocument *m_document = nullptr;
    QString m_path;
    QString m_password;
    bool m_openNeedsPassword = false;
    // Page sizes are a cache filled lazily, so const readers may fill it.
    mutable QList<QSizeF> m_pageSizes;                    // points
    mutable QList<bool> m_sizeRead;
    mutable int m_knownSizes = 0;
    mutable double m_widestPt = 595;
    mutable double m_widestRead = 0;                      // 0 while no page has a width
    bool m_ensuringVisible = false;
    bool m_painting = false;                              // no re-layout mid-frame
    mutable bool m_sizesChanged = false;                  // laid out with stale sizes
    int m_sizeCursor = 0;                                 // next page for the background pass
    QTimer *m_sizeTimer = nullptr;
    int m_documentSerial = 0;
    QList<PageSlot> m_slots;
    double m_contentHeight = 0;
    double m_contentWidth = 0;
    LayoutKey m_layoutKey;
    int m_layoutCount = 0;
    double m_lastRatio = 0;

    // View metrics from the canvas font.
    double m_pageGap = 14;
    double m_sideMargin = 14;
    int m_topMargin = 8;
    int m_bottomMargin = 20;
    double m_cornerRadius = 4;
    double m_bandHeight = 12;

    // ---- Tiles ----
    struct PageTiles
    {
        QSize size;                                       // device
        int cols = 1;
        int rows = 1;
        QList<QImage> tiles;
        QImage preview;
        qint64 bytes = 0;
    };
    struct TileRequest
    {
        int page = -1;
        int c0 = 0, r0 = 0, c1 = 0, r1 = 0;
        quint64 generation = 0;
        QSize size;                                       // device
    };
    enum class ClipUse { WithPainterClip, ViewportOnly };
    double tileRatio() const;
    QSize sheetDeviceSize(const QRectF &sheet) const;
    PageTiles &pageTiles(int page, const QSize &size);
    void paintPageTiles(QPainter &painter, int page, const QRectF &sheet);
    bool renderBlockNow(int page, PageTiles &record, int c0, int r0, int c1, int r1);
    void storeBlock(PageTiles &record, const QImage &block, int c0, int r0, int c1, int r1);
    bool ensurePreview(int page, PageTiles &record);
    void requestBlock(int page, PageTiles &record, int c0, int r0, int c1, int r1);
    void onPageRendered(int page, QSize imageSize, const QImage &image,
                        const QPdfDocumentRenderOptions &options, quint64 requestId);
    void trimPage(int page, PageTiles &record, const QRectF &sheet);
    void evictTiles();
    void reportMeasurement(int page, qint64 ms, const QSize &size);
    bool prefetchAllowed() const;
    // Starts the sheet about to scroll into view in the direction of travel.
    void prefetchAhead(const QList<int> &visible);

    QPdfPageRenderer *m_renderer = nullptr;
    QHash<int, PageTiles> m_pageTiles;
    QList<int> m_recency;                                 // oldest first
    qint64 m_totalBytes = 0;
    qint64 m_byteCap = kByteCap;
    quint64 m_tileGeneration = 0;
    QHash<quint64, TileRequest> m_requests;
    QSet<quint64> m_pendingKeys;
    QSet<quint64> m_thumbnailIds;
    int m_syncRenders = 0;
    qint64 m_measuredMs = 0;
    QSize m_measuredSize;
    bool m_measureQueued = false;
    double m_lastPaintTop = 0;                            // content
    int m_scrollDirection = 1;                            // +1 down, -1 up

    // ---- Zoom & scrolling ----
    double m_zoom = 1.0;
    double m_scale = 1.0;
    bool m_zoomInFlight = false;
    bool m_pinchInFlight = false;
    QTimer *m_zoomSettleTimer = nullptr;
    QElapsedTimer m_clock;
    QTimer *m_glideTimer = nullptr;
    QTimer *m_pointerPollTimer = nullptr;

    // ---- Zoom & scrolling (canvas/zoom.cpp, canvas/scrolling.cpp) ----
    void onZoomSettled();
    void onGlideTick();
    void wheelZoom(QWheelEvent *event);
    bool nativeZoomGesture(QNativeGestureEvent *event);
    Glide m_glide;
    // The exact anchor of the previous zoom: a run of zooms about the same
    // point reuses it, so the whole-pixel scroll values never add up to drift.
    // Any later layout (resize, full screen, new page sizes) ends the run.
    struct ZoomAnchorMemo
    {
        bool valid = false;
        int page = -1;
        QPointF anchor;
        ZoomMath::Anchor fraction;
        int h = 0;
        int v = 0;
        double zoom = 0;
        int layoutCount = -1;
    };
    ZoomAnchorMemo m_anchorMemo;
    void wireZoomTimers();

    // ---- Slides (canvas/slides.cpp) ----
    // A touch pan that may turn out to be a horizontal swipe.
    struct SlideSwipe
    {
        double dx = 0;                                    // finger travel, viewport
        double dy = 0;
        double zoom = 1;                                  // at the first touch
        int slide = 0;
    };
    void beginSlideSwipe();
    // At the end of a touch pan: a swipe steps a slide (true), else false.
    bool endSlideSwipe();
    // One glide-timer tick of a settling slide; false once it has arrived.
    bool settleTick();
    // After a resize: a fitted slide stays fitted and centred.
    void refitSlide(bool wasFitted);
    // The slide the view was last sent to (where a running settle ends).
    int currentSlideTarget() const;
    bool m_slideMode = false;
    // The view shows one whole slide centred at its fit zoom (until the
    // teacher zooms or scrolls).
    bool m_slideFitted = false;
    // The slide code itself moves the view: that is no free scroll or zoom.
    bool m_slidePlacing = false;
    int m_settleSlide = 0;
    Settle m_settle;
    SlideSwipe m_swipe;

    // ---- Page edits ----
    // Reads path in place of the PDF shown now, keeping ink, undo and the
    // view; false (and the old PDF kept) when it cannot be shown.
    bool reloadKeepingInk(const QString &path, QString *error);
    // After undo or redo: shows the layout the ink now belongs to.
    void followInkLayout(bool undone);
    void placeAddPageTile();
    double addPageTileHeight() const;
    QStringList m_layoutPaths;
    QWidget *m_addPageTile = nullptr;

    // ---- Painting ----
    void paintCanvas(QPainter &painter);
    void paintEmptyState(QPainter &painter);
    void paintDeskAndBand(QPainter &painter);

    // ---- Ink (ink/*.cpp) ----
    void paintPageInk(QPainter &painter, int page, const QRectF &sheet);
    void resetInkState();
    void pushUndo();
    // Drops a live stroke or erase gesture without committing it.
    void cancelStroke();

    InkHistory m_history;
    InkTool m_tool = InkTool::Pen;
    QColor m_penColor = QColor(211, 47, 47);
    double m_penWidth = 4;
    double m_eraserRadius = 14;
    bool m_palmEraserEnabled = false;

    // ---- Ink capture & painting (ink/capture.cpp, ink/inkpaint.cpp) ----
    // Holds this canvas's share of the process-wide inking gate, and gives
    // it back when the canvas dies mid-stroke.
    struct InkingGateHold
    {
        bool held = false;
        void enter();
        void leave();
        ~InkingGateHold() { leave(); }
    };
    void repaintInk(const QRect &dirty);
    bool handleTabletEvent(QTabletEvent *event);
    void penPress(const QTabletEvent *event);
    void penRelease(const QPointF &viewportPos);
    // The pen is gone (lifted, out of range, a tool change, silent): its
    // stroke is kept and the canvas given back.
    void endPenHold(const QString &why);
    // A stroke or erase gesture is live and was begun by origin.
    bool gestureFrom(StrokeOrigin origin) const
    {
        return (m_drawing || m_erasing) && m_strokeOrigin == origin;
    }

    bool m_drawing = false;
    int m_livePage = -1;
    Stroke m_liveStroke;
    StrokeOrigin m_strokeOrigin = StrokeOrigin::Mouse;
    QVector<QPointF> m_touchHistory;                      // viewport
    TouchFactorAverage m_factorAverage;
    QRect m_lastInkDirtyRect;                             // viewport
    InkingGateHold m_inkingGate;

    // ---- Erasing & input routing (ink/erasing.cpp, ink/input_*.cpp) ----
    enum class EraseEnd { Commit, Cancel };
    void beginErase(const QPointF &viewportPos, int page, double radiusOverride);
    void continueErase(const QPointF &viewportPos);
    void endErase(EraseEnd how);
    // Ends erase and palm gestures without reporting (a cancelled live stroke).
    void abandonEraseGestures();
    InkErase::EraseTarget eraseTarget();
    double effectiveEraseRadius() const;
    void setHoverPoint(const QPointF &pos, bool shown);
    void paintEraserIndicator(QPainter &painter);
    bool wheelBlocked() const;
    void startLockRelease();
    void setTouchLockHeld();
    void updateViewportCursor();
    // The visible child widget (island chip, card, overview) at a viewport
    // point, or none where the page shows.
    QWidget *overlayAt(const QPoint &viewportPos) const;
    void onPointerPoll();
    bool handleTouchEvent(QTouchEvent *event);
    bool ignoreHandTouch(QTouchEvent *event);
    void touchEnd();
    void pinchStep(const QPointF &p0, const QPointF &p1);
    void endPinch();
    bool moveDrag(const QPointF &pos);
    bool viewportMouseEvent(QMouseEvent *event);

    bool m_erasing = false;
    InkErase::EraseGesture m_eraseGesture;
    double m_radiusOverride = 0;
    QPointF m_lastErasePoint;
    bool m_lastEraseValid = false;
    bool m_palmActive = false;
    double m_palmRadius = 0;
    QPointF m_lastPalmPoint;
    bool m_lastPalmValid = false;
    QPointF m_hoverPoint;
    bool m_hoverShown = false;

    bool m_touchLock = false;
    QTimer *m_lockReleaseTimer = nullptr;
    QTimer *m_penQuietTimer = nullptr;
    bool m_touchSequence = false;
    bool m_palmLikeStart = false;
    bool m_touchWrote = false;
    bool m_glideCaught = false;
    bool m_penDown = false;
    qint64 m_penReleasedMs = -1;                          // m_clock; -1 never
    // This touch sequence met the pen (a resting hand) or is the second tap
    // of the tap that opened this page: inert until it ends.
    bool m_touchIgnored = false;
    static constexpr int kKeepStrokeBeforePinchMs = 250;
    qint64 m_touchStrokeBeganMs = 0;                      // m_clock
    quint64 m_touchSampleTs = 0;                          // event time of the last writing sample
    TouchInput::PinchState m_pinch;
    TouchInput::PalmState m_palmState;
    // Whether a pen or finger press at globalPos is the second tap of the
    // tap that brought this canvas up; the first press after it decides.
    bool takeTapEcho(const QPointF &globalPos);
    qint64 m_echoUntilMs = -1;                            // m_clock; -1 none expected
    QPointF m_echoAt;                                     // global
    qint64 m_ownClickMs = -1;                             // m_clock; last left press here
    bool m_penEcho = false;                               // this pen gesture is such a tap
    bool m_moveDrag = false;
    QPointF m_moveLast;
    QPoint m_pollPoint;
    bool m_pollValid = false;
    qint64 m_lastInputLog = -1000000;
    int m_mergedInputLogs = 0;
    void wireInput();

    InkToolbar *m_inkToolbar = nullptr;
    IslandMargin m_islandMargin;

    friend class CanvasTestAccess;
};
