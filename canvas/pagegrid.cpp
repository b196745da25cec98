#include "canvas/pagegrid.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"
#include "ui/glyphs.h"
#include "canvas/pdfcanvas.h"
#include "ui/overlaykeys.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QTouchEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

// The panel: widget tree, style, document tracking and closing. Opening
// and layout live in pagegrid_layout.cpp, thumbnails in pagegrid_thumbs.cpp,
// cell painting and dragging in pagegrid_cell.cpp.

namespace {

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

} // namespace

PageGrid::PageGrid(PdfCanvas *canvas, QWidget *anchor)
    : QWidget(canvas ? canvas->viewport() : nullptr)
    , m_canvas(canvas)
    , m_anchor(anchor)
{
    setObjectName(QStringLiteral("pageGrid"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Presses, wheels and pen or touch input that no cell takes stop here
    // instead of drawing ink on the canvas beneath; an untaken touch is then
    // turned into mouse events for the cell under it.
    setAttribute(Qt::WA_NoMousePropagation);
    setFocusPolicy(Qt::NoFocus);

    m_gridFont = scaledFont(canvas ? canvas->font() : font(), 1.06, 600);
    setFont(m_gridFont);
    const double h = std::max(QFontMetricsF(m_gridFont).height(), 12.0);
    const UiMetrics ui = uiMetricsForHeight(h);
    Metrics &m = m_metrics;
    m.h = h;
    m.thumbWidth = int(std::lround(ui.touchTarget * 2.2));
    m.inset = ui.gapXs;
    m.labelHeight = QFontMetrics(m_gridFont).height();
    m.labelGap = std::max(ui.gapXs - 1, 3);
    m.spacing = ui.gapXs;
    m.hoverRadius = ui.extentL;
    m.thumbRadius = std::max(ui.iconSize / 6, 4);
    m.frameWidth = std::max(2 * ui.hairline, 2);
    m.outerMargin = ui.gapXl;
    m.cardMargin = ui.gapM + 4;
    m.glyphSize = ui.iconSize;
    m.dividerHeight = ui.hairline;
    m.cardRadius = std::max(ui.extentXl + 2, 18);
    m.pillPadding = ui.gapM;
    m.shadowOffset = ui.extentS;
    m_ratio = devicePixelRatioF();
    m_cellSize = computeCellSize();

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(m.outerMargin, m.outerMargin, m.outerMargin, m.outerMargin);
    outer->setSpacing(0);

    m_card = new QFrame(this);
    m_card->setObjectName(QStringLiteral("pageGridCard"));
    m_card->setAttribute(Qt::WA_StyledBackground);
    outer->addWidget(m_card);
    auto *cardLayout = new QVBoxLayout(m_card);
    cardLayout->setContentsMargins(m.cardMargin, m.cardMargin, m.cardMargin, m.cardMargin);
    cardLayout->setSpacing(m.spacing);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(m.spacing);
    m_glyph = new QLabel(m_card);
    m_glyph->setObjectName(QStringLiteral("pageGridGlyph"));
    m_glyph->setFixedSize(m.glyphSize, m.glyphSize);
    m_title = new QLabel(QStringLiteral("页面"), m_card);
    m_title->setObjectName(QStringLiteral("pageGridTitle"));
    m_title->setFont(m_gridFont);
    m_count = new QLabel(m_card);
    m_count->setObjectName(QStringLiteral("pageGridCount"));
    m_count->setFont(scaledFont(m_gridFont, 0.86, 500));
    // A blank page after the page shown, of a kind the window asks for.
    m_insert = new QPushButton(QStringLiteral("在此页后插入空白页"), m_card);
    m_insert->setObjectName(QStringLiteral("pageGridInsert"));
    m_insert->setFocusPolicy(Qt::NoFocus);
    m_insert->setMinimumHeight(int(ui.touchTarget * 0.72));
    connect(m_insert, &QPushButton::clicked, this, [this] {
        hide();
        if (m_canvas)
            m_canvas->requestInsertAfter(m_canvas->currentPage());
    });
    header->addWidget(m_glyph);
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_insert);
    header->addWidget(m_count);
    cardLayout->addLayout(header);

    auto *line = new QFrame(m_card);
    line->setObjectName(QStringLiteral("pageGridLine"));
    line->setAttribute(Qt::WA_StyledBackground);
    line->setFrameShape(QFrame::NoFrame);
    line->setFixedHeight(m.dividerHeight);
    cardLayout->addWidget(line);

    m_scroll = new QScrollArea(m_card);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_container = new QWidget;
    m_container->setAutoFillBackground(false);
    m_scroll->setWidget(m_container);
    cardLayout->addWidget(m_scroll, 1);
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &PageGrid::showCellsNearView);

    restyle();
    paintHeaderGlyph();

    if (canvas) {
        connect(canvas, &PdfCanvas::pageChanged, this, &PageGrid::onPageChanged);
        connect(canvas, &PdfCanvas::thumbnailRendered, this, &PageGrid::onThumbnailRendered);
        // After the scroll area's own slot, so this runs once the viewport scrolled.
        connect(canvas->verticalScrollBar(), &QScrollBar::valueChanged, this, &PageGrid::holdPlace);
        connect(canvas->horizontalScrollBar(), &QScrollBar::valueChanged, this, &PageGrid::holdPlace);
    }
    qApp->installEventFilter(this);
    hide();
}

PageGrid::~PageGrid()
{
    qApp->removeEventFilter(this);
}

void PageGrid::restyle()
{
    const Theme &t = theme();
    const QString card = QStringLiteral(
            "QFrame#pageGridCard { background: %1; border: %2 solid %3; border-radius: %4; }"
            "QFrame#pageGridLine { background: %5; border: none; }"
            "QLabel#pageGridTitle { color: %6; background: transparent; }"
            "QLabel#pageGridCount { color: %7; background: transparent; }"
            "QPushButton#pageGridInsert { color: %6; background: transparent; border: 1px solid %5; "
            "border-radius: 10px; padding: 0 12px; }"
            "QScrollArea { background: transparent; border: none; }"
            "QScrollArea > QWidget > QWidget { background: transparent; }"
            "QFrame#pageGridCard QScrollBar:vertical { background: transparent; width: %8; "
            "margin: %9 2px %9 2px; }")
            .arg(cssColor(t.bar), cssPx(std::max(int(m_metrics.h / 14), 1)), cssColor(t.border),
                 cssPx(m_metrics.cardRadius), cssColor(t.divider), cssColor(t.text),
                 cssColor(t.textMuted), cssPx(12), cssPx(4));
    const QString handle = QStringLiteral(
            "QFrame#pageGridCard QScrollBar::handle:vertical { background: %1; min-height: %2; "
            "border-radius: %3; }"
            "QFrame#pageGridCard QScrollBar::handle:vertical:hover { background: %4; }"
            "QFrame#pageGridCard QScrollBar::handle:vertical:pressed { background: %5; }"
            "QFrame#pageGridCard QScrollBar::add-line:vertical, QFrame#pageGridCard "
            "QScrollBar::sub-line:vertical { height: 0; background: transparent; }"
            "QFrame#pageGridCard QScrollBar::add-page:vertical, QFrame#pageGridCard "
            "QScrollBar::sub-page:vertical { background: transparent; }")
            .arg(cssColor(withAlpha(t.text, 58)), cssPx(48), cssPx(4),
                 cssColor(withAlpha(t.text, 92)), cssColor(withAlpha(t.accent, 176)));
    const QString sheet = card + handle;
    // Setting a sheet sends a style change back here; only a new theme
    // changes the text, which ends the round trip.
    if (sheet == m_styleSheet)
        return;
    m_styleSheet = sheet;
    setStyleSheet(sheet);
    paintHeaderGlyph();
    update();
}

void PageGrid::paintHeaderGlyph()
{
    if (!m_glyph)
        return;
    const Theme &t = theme();
    const int side = m_metrics.glyphSize;
    const double ratio = std::max(m_ratio, 1.0);
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintPageGridGlyph(painter, QRectF(0, 0, side, side), t.textMuted, std::max(1.5, side / 14.0),
                       t.accent, t.textDisabled);
    painter.end();
    m_glyph->setPixmap(pixmap);
}

QSize PageGrid::computeCellSize() const
{
    const Metrics &m = m_metrics;
    const int thumbHeight = std::max(int(std::lround(m.thumbWidth * m_aspect)), 1);
    return QSize(m.thumbWidth + 2 * m.inset,
                 thumbHeight + m.labelGap + m.labelHeight + 2 * m.inset);
}

void PageGrid::onPageChanged(int page, int count)
{
    const QString path = m_canvas ? m_canvas->path() : QString();
    const int serial = m_canvas ? m_canvas->documentSerial() : -1;
    const bool same = count == m_cells.size() && path == m_documentPath
            && serial == m_documentSerial;
    if (!same) {
        m_documentPath = path;
        m_documentSerial = serial;
        m_aspect = kDefaultAspect;
        m_aspectTaken = false;
        forgetThumbnails();
        m_failed.clear();
        if (count != m_cells.size())
            rebuildCells(count);
    }
    const int previous = m_currentPage;
    m_currentPage = page;
    if (!same) {
        for (PageCell *cell : std::as_const(m_cells))
            cell->update();
    } else if (previous != page) {
        // Only the old and new current cells change their look.
        updateCell(previous);
        updateCell(page);
    }
    if (count < 1)
        hide();
}

void PageGrid::rebuildCells(int count)
{
    qDeleteAll(m_cells);
    m_cells.clear();
    m_cells.reserve(std::max(count, 0));
    for (int i = 0; i < count; ++i) {
        auto *cell = new PageCell(this, i, m_container);
        cell->setFixedSize(m_cellSize);
        connect(cell, &QAbstractButton::clicked, this, [this, i] { jumpTo(i); });
        m_cells.append(cell);
    }
    m_columns = 0;
    m_count->setText(count > 0 ? QStringLiteral("共 %1 页").arg(count) : QString());
}

void PageGrid::jumpTo(int page)
{
    if (m_canvas)
        m_canvas->goToPage(page);
    hide();
}

void PageGrid::updateCell(int page)
{
    if (PageCell *c = m_cells.value(page))
        c->update();
}

bool PageGrid::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show: {
        const bool result = QWidget::event(event);
        checkDeviceRatio();
        QTimer::singleShot(0, this, [this] { syncCurrentPage(Centre::No); });
        return result;
    }
    case QEvent::ScreenChangeInternal:
        checkDeviceRatio();
        break;
    case QEvent::StyleChange:
    case QEvent::ApplicationPaletteChange:
        // The canvas restyles itself and its children when the theme is applied.
        restyle();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool PageGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (!isVisible())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::TabletPress: // a pen on the page is ink, but it still closes the grid
    case QEvent::TouchBegin: {
        QPointF global;
        if (event->type() != QEvent::TouchBegin) {
            global = static_cast<QSinglePointEvent *>(event)->globalPosition();
        } else {
            const auto *touch = static_cast<QTouchEvent *>(event);
            if (touch->points().isEmpty())
                return false;
            global = touch->points().constFirst().globalPosition();
        }
        const QPoint at = global.toPoint();
        const bool inGrid = QRect(mapToGlobal(QPoint(0, 0)), size()).contains(at);
        const bool onAnchor = m_anchor && m_anchor->isVisible()
                && QRect(m_anchor->mapToGlobal(QPoint(0, 0)), m_anchor->size()).contains(at);
        if (!inGrid && !onAnchor)
            hide();
        return false;
    }
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && panelTakesKey(this, watched)) {
            hide();
            return true;
        }
        return false;
    case QEvent::Resize:
        if (watched == parentWidget())
            layoutGrid();
        return false;
    default:
        return false;
    }
}

void PageGrid::paintEvent(QPaintEvent *)
{
    // The panel's soft shadow: six widening, faint layers around the card.
    const Metrics &m = m_metrics;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(theme().shadow, 8));
    const QRectF card = m_card->geometry();
    constexpr int kShadowLayers = 6;
    for (int n = kShadowLayers; n >= 1; --n) {
        const double e = n * double(m.outerMargin) / kShadowLayers;
        const double o = std::min(m.shadowOffset, m.outerMargin - e);
        const QRectF r(QPointF(card.left() - e, card.top() + o - e),
                       QPointF(card.right() + e, card.bottom() + o + e));
        painter.drawRoundedRect(r, e + m.cardRadius, e + m.cardRadius);
    }
}

void PageGrid::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void PageGrid::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}
