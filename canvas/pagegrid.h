#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QWidget>

class PdfCanvas;
class QFrame;
class QLabel;
class QScrollArea;

// Floating overview of every page of a canvas's document as thumbnails;
// tapping one jumps there and closes the panel. Opened by the ink island's
// page button (anchor), which creates one grid per canvas on first use.
// Thumbnails are rendered on the canvas's worker, never on this thread:
// only cells on screen ask for them, at most two at a time.
class PageGrid : public QWidget
{
    Q_OBJECT
public:
    class PageCell;

    // Parent is the canvas's viewport; presses on anchor do not count as
    // outside presses (the anchor toggles the grid itself).
    PageGrid(PdfCanvas *canvas, QWidget *anchor);
    ~PageGrid() override;

    void openGrid();

    // Read-only figures for diagnostics, benchmarks and tests.
    int cellCount() const { return int(m_cells.size()); }
    PageCell *cell(int page) const { return m_cells.value(page); }
    int columns() const { return m_columns; }
    int currentPage() const { return m_currentPage; }
    int thumbnailCount() const { return int(m_thumbnails.size()); }
    qint64 thumbnailBytes() const { return m_thumbnailBytes; }
    bool hasThumbnail(int page) const { return m_thumbnails.contains(page); }
    QSize thumbnailSize(int page) const { return m_thumbnails.value(page).size(); }
    int requestsInFlight() const { return int(m_requests.size()); }
    bool isFailed(int page) const { return m_failed.contains(page); }
    QScrollArea *scrollArea() const { return m_scroll; }
    QAbstractButton *insertButton() const { return m_insert; }
    // Whether the page's cell is shown and inside the scroll area's view.
    bool isCellOnScreen(int page) const;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // The panel swallows its own presses so they never reach the canvas.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    friend class PageCell;

    // Sizes from the grid font; see the constructor.
    struct Metrics
    {
        double h = 12;
        int thumbWidth = 0;
        int inset = 0;
        int labelHeight = 0;
        int labelGap = 0;
        int spacing = 0;
        int hoverRadius = 0;
        int thumbRadius = 0;
        int frameWidth = 0;
        int outerMargin = 0;
        int cardMargin = 0;
        int glyphSize = 0;
        int dividerHeight = 0;
        int cardRadius = 0;
        int pillPadding = 0;
        double shadowOffset = 0;
    };
    enum class Centre { No, Yes };

    // Document and layout (canvas/pagegrid.cpp).
    void onPageChanged(int page, int count);
    void rebuildCells(int count);
    void restyle();
    void paintHeaderGlyph();
    QSize computeCellSize() const;
    void layoutGrid();
    void holdPlace();
    void showCellsNearView();
    void syncCurrentPage(Centre centre);
    void jumpTo(int page);
    void updateCell(int page);

    // Thumbnails (canvas/pagegrid_thumbs.cpp).
    const QImage *thumbnailForPaint(int page);
    void schedulePump();
    void pumpRequests();
    void onThumbnailRendered(qulonglong requestId, const QImage &image);
    void trimThumbnails();
    void forgetThumbnails();
    void checkDeviceRatio();
    bool isRequested(int page) const;
    QRect visibleContainerRect() const;

    QPointer<PdfCanvas> m_canvas;
    QPointer<QWidget> m_anchor;
    Metrics m_metrics;
    QFont m_gridFont;

    QFrame *m_card = nullptr;
    QLabel *m_glyph = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_count = nullptr;
    QAbstractButton *m_insert = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_container = nullptr;
    QString m_styleSheet;

    QList<PageCell *> m_cells;
    QSize m_cellSize;
    int m_columns = 0;
    int m_currentPage = -1;
    static constexpr double kDefaultAspect = 1.4142857142857144;
    double m_aspect = kDefaultAspect;
    bool m_aspectTaken = false;
    double m_ratio = 1;
    QString m_documentPath;
    int m_documentSerial = -1;

    QHash<int, QImage> m_thumbnails;
    QList<int> m_recency;                                 // least recently drawn first
    qint64 m_thumbnailBytes = 0;
    QList<int> m_wanted;                                  // oldest first
    QHash<quint64, int> m_requests;                       // request id -> page
    QList<int> m_failed;
    bool m_pumpScheduled = false;
    bool m_sizeWaitScheduled = false;
};

// One page of the grid: its thumbnail (or a placeholder) in a frame and the
// page number below. A vertical drag across cells scrolls the grid and
// never clicks.
class PageGrid::PageCell : public QAbstractButton
{
    Q_OBJECT
public:
    PageCell(PageGrid *grid, int page, QWidget *parent);

    int page() const { return m_page; }
    bool isDragging() const { return m_dragging; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void paintContent(QPainter &painter, const QRectF &thumbRect);
    void paintLabel(QPainter &painter, const QRectF &thumbRect, bool current);

    PageGrid *m_grid = nullptr;
    int m_page = 0;
    QPointF m_pressGlobal;
    int m_pressValue = 0;
    bool m_dragging = false;
};
