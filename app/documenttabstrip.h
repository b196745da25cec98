#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

// The strip along the bottom of the window: the home chip at the left, a
// horizontally scrollable band with one chip per open document, and at the
// right the trailing widget (the zoom bar), the settings chip and the open
// chip. Painted by hand for touch: every chip is at least a finger high, the
// band scrolls by dragging, and a tap is told from a drag by a fixed slop.
// It only reports intent; the main window decides what changes.
class DocumentTabs : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kDragSlop = 6;

    explicit DocumentTabs(QWidget *parent = nullptr);

    int addTab(const QString &title);
    void removeTab(int index);
    void setTabTitle(int index, const QString &title);
    QString tabTitle(int index) const;
    void setCurrentIndex(int index);
    int currentIndex() const { return m_current; }
    int count() const { return int(m_tabs.size()); }
    void setHomeActive(bool active);
    void setSettingsActive(bool active);
    bool homeActive() const { return m_homeActive; }
    bool settingsActive() const { return m_settingsActive; }
    void setTrailingWidget(QWidget *widget);
    QWidget *trailingWidget() const { return m_trailing; }
    // Colours are read at paint time; this only repaints.
    void applyTheme();

    // Geometry of the last layout (widget coordinates), for hit tests.
    QRect tabRect(int index) const;
    QRect closeRect(int index) const;
    QRect homeChipRect() const { return insetChip(m_homeRect); }
    QRect settingsChipRect() const { return insetChip(m_settingsRect); }
    QRect openChipRect() const { return m_openRect; }
    int bandStart() const { return m_bandStart; }
    int bandEnd() const { return m_bandEnd; }
    int scrollOffset() const { return m_scroll; }
    int maxScroll() const { return m_maxScroll; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentChanged(int index);
    void closeRequested(int index);
    void addRequested();
    void settingsRequested();
    void homeRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // The second press of a double click may drag the band but never taps:
    // a double tap on "×" closes one tab, on "设置" opens the page once.
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool event(QEvent *event) override;

private:
    struct Tab
    {
        QString title;
        QString elided;
        int textWidth = 0;
        QRect chip;
        QRect close;
    };

    void relayout();
    void scrollIntoView(int index);
    void setScroll(int offset);
    void updateHover(const QPoint &pos);
    int trailingWidth() const;
    QRect insetChip(const QRect &chip) const;
    void paintChip(QPainter &painter, int index) const;
    void paintHomeIcon(QPainter &painter, const QRectF &box, const QColor &color) const;

    QList<Tab> m_tabs;
    int m_current = -1;
    int m_scroll = 0;
    int m_maxScroll = 0;
    int m_hovered = -1;
    bool m_hoverClose = false;
    bool m_hoverOpen = false;
    bool m_hoverSettings = false;
    bool m_hoverHome = false;
    bool m_pressed = false;
    bool m_dragging = false;
    bool m_secondClick = false;
    QPoint m_pressPoint;
    int m_scrollAtPress = 0;
    bool m_homeActive = false;
    bool m_settingsActive = false;
    QPointer<QWidget> m_trailing;

    // Geometry constants (from the strip's font) and layout results.
    int m_margin = 4;
    int m_chipHeight = 0;
    int m_chipInset = 0;
    int m_gap = 0;
    int m_closeSize = 0;
    int m_openWidth = 0;
    int m_minText = 0;
    int m_maxText = 0;
    int m_iconSize = 0;
    int m_settingsWidth = 0;
    int m_homeWidth = 0;
    double m_radius = 10;
    int m_contentWidth = 0;
    int m_bandStart = 0;
    int m_bandEnd = 0;
    QRect m_homeRect;
    QRect m_settingsRect;
    QRect m_openRect;
    QRect m_slot;
};

// The name the window code used before the strip was drawn by hand.
using DocumentTabStrip = DocumentTabs;
