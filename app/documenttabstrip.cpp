#include "app/documenttabstrip.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"
#include "ui/glyphs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kPreferredBand = 192;
constexpr int kMinimumBand = 32;

} // namespace

DocumentTabs::DocumentTabs(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("documentTabs"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFont(scaledFont(QApplication::font(), 0.95, 500));

    const UiMetrics m = uiMetrics(font(), 1.0, false);
    const QFontMetrics fm(font());
    m_chipHeight = std::max(int(0.8 * m.touchTarget), fm.height() + 12);
    m_chipInset = std::max(m.gapL - 2, 12);
    m_gap = std::max(m.gapXs, 8);
    m_closeSize = std::max(m.iconSize, int(0.5 * m.touchTarget));
    m_openWidth = std::max(m.touchTarget, fm.horizontalAdvance(QStringLiteral("打开")) + 4 * m_chipInset);
    m_minText = int(1.4 * m.touchTarget);
    m_maxText = int(4.5 * m.touchTarget);
    m_iconSize = std::min(std::max(m.iconSize, int(0.55 * m_chipHeight)), int(0.62 * m_chipHeight));
    m_settingsWidth = std::max(fm.horizontalAdvance(QStringLiteral("设置")) + 2 * m_margin + 2 * m_chipInset
                                   + m_iconSize + 8,
                               int(1.6 * m.touchTarget));
    m_homeWidth = std::max(m_chipHeight, int(0.9 * m.touchTarget));
    m_radius = std::max(0.3 * m_chipHeight, 10.0);
    relayout();
}

int DocumentTabs::addTab(const QString &title)
{
    m_tabs.append(Tab{title, QString(), 0, QRect(), QRect()});
    relayout();
    update();
    return int(m_tabs.size()) - 1;
}

void DocumentTabs::removeTab(int index)
{
    if (index < 0 || index >= m_tabs.size())
        return;
    m_tabs.removeAt(index);
    const bool highlight = m_homeActive || m_settingsActive;
    if (m_tabs.isEmpty()) {
        const bool hadCurrent = m_current != -1;
        m_current = -1;
        m_hovered = -1;
        relayout();
        update();
        if (hadCurrent && !highlight)
            emit currentChanged(-1);
        return;
    }
    // The hovered index may now name another chip; the next move sets it.
    m_hovered = -1;
    m_hoverClose = false;
    if (index > m_current) {
        relayout();
        update();
        return;
    }
    if (index < m_current) {
        --m_current;
        relayout();
    } else {
        m_current = std::min(index, int(m_tabs.size()) - 1);
        relayout();
        scrollIntoView(m_current);
    }
    update();
    if (!highlight)
        emit currentChanged(m_current);
}

void DocumentTabs::setTabTitle(int index, const QString &title)
{
    if (index < 0 || index >= m_tabs.size() || m_tabs.at(index).title == title)
        return;
    m_tabs[index].title = title;
    relayout();
    update();
}

QString DocumentTabs::tabTitle(int index) const
{
    return index >= 0 && index < m_tabs.size() ? m_tabs.at(index).title : QString();
}

void DocumentTabs::setCurrentIndex(int index)
{
    if (m_tabs.isEmpty()) {
        if (m_current != -1) {
            m_current = -1;
            update();
            emit currentChanged(-1);
        }
        return;
    }
    index = std::clamp(index, 0, int(m_tabs.size()) - 1);
    const bool highlight = m_homeActive || m_settingsActive;
    m_homeActive = false;
    m_settingsActive = false;
    if (index == m_current && !highlight) {
        update();
        return;
    }
    const bool changed = index != m_current;
    m_current = index;
    if (changed)
        scrollIntoView(index);
    relayout();
    update();
    emit currentChanged(index);
}

void DocumentTabs::setHomeActive(bool active)
{
    if (m_homeActive == active)
        return;
    m_homeActive = active;
    update();
}

void DocumentTabs::setSettingsActive(bool active)
{
    if (m_settingsActive == active)
        return;
    m_settingsActive = active;
    update();
}

void DocumentTabs::setTrailingWidget(QWidget *widget)
{
    if (m_trailing == widget)
        return;
    m_trailing = widget;
    if (widget && widget->parentWidget() != this)
        widget->setParent(this);
    relayout();
    updateGeometry();
    update();
}

void DocumentTabs::applyTheme()
{
    update();
}

QRect DocumentTabs::tabRect(int index) const
{
    return index >= 0 && index < m_tabs.size() ? m_tabs.at(index).chip : QRect();
}

QRect DocumentTabs::closeRect(int index) const
{
    return index >= 0 && index < m_tabs.size() ? m_tabs.at(index).close : QRect();
}

int DocumentTabs::trailingWidth() const
{
    if (!m_trailing)
        return 0;
    const int w = m_trailing->sizeHint().width();
    return w > 0 ? w + m_gap : 0;
}

QSize DocumentTabs::sizeHint() const
{
    const int pinned = trailingWidth() + m_homeWidth + m_settingsWidth + m_openWidth + m_gap;
    return QSize(pinned + kPreferredBand, m_chipHeight + 2 * m_margin);
}

QSize DocumentTabs::minimumSizeHint() const
{
    const int pinned = trailingWidth() + m_homeWidth + m_settingsWidth + m_openWidth + m_gap;
    return QSize(pinned + kMinimumBand, m_chipHeight + 2 * m_margin);
}

QRect DocumentTabs::insetChip(const QRect &chip) const
{
    return QRect(chip.x() + m_margin, m_margin, chip.width() - 2 * m_margin, m_chipHeight);
}

void DocumentTabs::relayout()
{
    const QFontMetrics fm(font());
    int content = 2 * m_margin;
    for (Tab &tab : m_tabs) {
        tab.textWidth = std::clamp(fm.horizontalAdvance(tab.title), m_minText, m_maxText);
        tab.elided = fm.elidedText(tab.title, Qt::ElideMiddle, tab.textWidth);
        content += tab.textWidth + 2 * m_chipInset + m_gap + m_closeSize;
    }
    if (!m_tabs.isEmpty())
        content += (int(m_tabs.size()) - 1) * m_gap;
    m_contentWidth = content;

    const int w = width();
    const int h = height();
    m_homeRect = QRect(0, 0, std::min(m_homeWidth, w), h);
    const int openW = std::min(m_openWidth, std::max(0, w - m_homeWidth));
    m_openRect = QRect(w - openW, 0, openW, h);
    const int settingsW = std::min(m_settingsWidth, std::max(0, m_openRect.x() - m_gap));
    m_settingsRect = QRect(m_openRect.x() - settingsW, 0, settingsW, h);

    m_slot = QRect();
    const int hint = m_trailing ? m_trailing->sizeHint().width() : 0;
    if (m_trailing && hint >= 1) {
        const int homeRight = m_homeRect.x() + m_homeRect.width();
        const int available = std::max(0, m_settingsRect.x() - (2 * m_gap + homeRight + 1));
        const int slotW = std::min(hint, available);
        m_slot = QRect(m_settingsRect.x() - m_gap - slotW, 0, slotW, h);
    }
    m_bandStart = m_homeRect.x() + m_homeRect.width() + m_gap + 1;
    const int bandLimit = !m_slot.isNull() && m_slot.width() > 0 ? m_slot.x() : m_settingsRect.x();
    m_bandEnd = std::max(m_bandStart, bandLimit - m_gap);

    m_maxScroll = std::max(0, m_contentWidth - (m_bandEnd - m_bandStart));
    m_scroll = std::clamp(m_scroll, 0, m_maxScroll);

    int x = m_margin + m_bandStart - m_scroll;
    for (Tab &tab : m_tabs) {
        const int chipW = tab.textWidth + 2 * m_chipInset + m_gap + m_closeSize;
        tab.chip = QRect(x, m_margin, chipW, m_chipHeight);
        tab.close = QRect(x + chipW - m_chipInset - m_closeSize, m_margin + (m_chipHeight - m_closeSize) / 2,
                          m_closeSize, m_closeSize);
        x += chipW + m_gap;
    }

    if (m_trailing) {
        if (m_slot.width() > 0) {
            const int th = std::min(m_trailing->sizeHint().height(), m_slot.height());
            m_trailing->setGeometry(m_slot.x(), m_slot.y() + (m_slot.height() - th) / 2, m_slot.width(), th);
        } else {
            m_trailing->setGeometry(QRect());
        }
    }
}

void DocumentTabs::scrollIntoView(int index)
{
    if (index < 0 || index >= m_tabs.size())
        return;
    const QRect chip = m_tabs.at(index).chip;
    const int right = chip.x() + chip.width();
    if (chip.x() < m_bandStart + m_margin)
        m_scroll += chip.x() - m_bandStart - m_margin;
    else if (right > m_bandEnd - m_margin)
        m_scroll += right + m_margin - m_bandEnd;
    relayout();
}

void DocumentTabs::setScroll(int offset)
{
    offset = std::clamp(offset, 0, m_maxScroll);
    if (offset == m_scroll)
        return;
    m_scroll = offset;
    relayout();
    update();
}

void DocumentTabs::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
    if (m_current >= 0)
        scrollIntoView(m_current);
}

bool DocumentTabs::event(QEvent *event)
{
    // A trailing widget that grows or shrinks (shown, hidden) reshapes the band.
    if (event->type() == QEvent::LayoutRequest) {
        relayout();
        update();
    }
    return QWidget::event(event);
}

void DocumentTabs::updateHover(const QPoint &pos)
{
    int hovered = -1;
    bool close = false;
    if (pos.x() >= m_bandStart && pos.x() < m_bandEnd) {
        for (int i = 0; i < m_tabs.size(); ++i) {
            if (m_tabs.at(i).chip.contains(pos)) {
                hovered = i;
                close = m_tabs.at(i).close.contains(pos);
                break;
            }
        }
    }
    const bool open = m_openRect.contains(pos);
    const bool settings = insetChip(m_settingsRect).contains(pos);
    const bool home = insetChip(m_homeRect).contains(pos);
    if (hovered != m_hovered || close != m_hoverClose || open != m_hoverOpen || settings != m_hoverSettings
        || home != m_hoverHome) {
        m_hovered = hovered;
        m_hoverClose = close;
        m_hoverOpen = open;
        m_hoverSettings = settings;
        m_hoverHome = home;
        update();
    }
    QString tip;
    QString name;
    if (settings) {
        tip = name = QStringLiteral("设置");
    } else if (home) {
        tip = name = QStringLiteral("主页");
    } else if (hovered >= 0) {
        tip = name = m_tabs.at(hovered).title;
    } else if (open) {
        tip = QStringLiteral("新建标签");
        name = QStringLiteral("打开");
    }
    setToolTip(tip);
    setAccessibleName(name);
    setCursor(settings || home || open || hovered >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void DocumentTabs::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_dragging = false;
    m_secondClick = false;
    m_pressPoint = event->position().toPoint();
    m_scrollAtPress = m_scroll;
    // A finger brings no hover before it lands: the press names the target.
    updateHover(m_pressPoint);
}

void DocumentTabs::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (!m_pressed) {
        updateHover(pos);
        return;
    }
    if (!m_dragging && (std::abs(pos.x() - m_pressPoint.x()) > kDragSlop
                        || std::abs(pos.y() - m_pressPoint.y()) > kDragSlop))
        m_dragging = true;
    if (m_dragging)
        setScroll(m_scrollAtPress + m_pressPoint.x() - pos.x());
}

void DocumentTabs::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    if (m_dragging || m_secondClick) {
        m_dragging = false;
        m_secondClick = false;
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (insetChip(m_homeRect).contains(pos)) {
        emit homeRequested();
        return;
    }
    if (m_openRect.contains(pos)) {
        emit addRequested();
        return;
    }
    if (insetChip(m_settingsRect).contains(pos)) {
        setSettingsActive(true);
        emit settingsRequested();
        return;
    }
    const int target = m_hovered;
    if (target < 0 || target >= m_tabs.size())
        return;
    if (m_tabs.at(target).close.contains(pos)) {
        emit closeRequested(target);
        return;
    }
    const bool highlight = m_homeActive || m_settingsActive;
    if (target == m_current && !highlight) {
        update();
        return;
    }
    m_homeActive = false;
    m_settingsActive = false;
    const bool changed = target != m_current;
    m_current = target;
    if (changed)
        scrollIntoView(target);
    relayout();
    update();
    emit currentChanged(target);
}

void DocumentTabs::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
    if (m_pressed)
        m_secondClick = true;
}

void DocumentTabs::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    m_hovered = -1;
    m_hoverClose = m_hoverOpen = m_hoverSettings = m_hoverHome = false;
    update();
}

void DocumentTabs::wheelEvent(QWheelEvent *event)
{
    const QPoint angle = event->angleDelta();
    const int delta = std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    setScroll(m_scroll - delta / 2);
    event->accept();
}

void DocumentTabs::paintEvent(QPaintEvent *)
{
    const Theme &t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), t.desk);
    painter.setPen(QPen(t.divider, 1));
    painter.drawLine(QPointF(0, 0.5), QPointF(width(), 0.5));

    painter.save();
    painter.setClipRect(QRect(m_bandStart, 0, m_bandEnd - m_bandStart, height()));
    const QRect band(m_bandStart, 0, m_bandEnd - m_bandStart, height());
    for (int i = 0; i < m_tabs.size(); ++i) {
        if (m_tabs.at(i).chip.intersects(band))
            paintChip(painter, i);
    }
    painter.restore();

    const int iconSide = std::min(m_iconSize, int(0.62 * height()));
    const auto chipColours = [&](bool active, bool hovered, QColor *fill, QColor *ink) {
        *fill = active ? t.secondaryContainer : hovered ? t.hover : QColor(Qt::transparent);
        *ink = active ? t.onSecondaryContainer : hovered ? t.text : t.textMuted;
    };
    QColor fill;
    QColor ink;
    const QRect home = insetChip(m_homeRect);
    if (home.width() > 4) {
        chipColours(m_homeActive, m_hoverHome, &fill, &ink);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(home).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
        const QRectF box(home.center().x() - iconSide / 2.0 + 0.5, home.center().y() - iconSide / 2.0 + 0.5,
                         iconSide, iconSide);
        paintHomeIcon(painter, box, ink);
    }
    const double lineTop = 0.18 * m_chipHeight + m_margin;
    const double lineBottom = height() - m_margin - 0.18 * m_chipHeight;
    painter.setPen(QPen(t.divider, 1));
    const int homeRight = m_homeRect.x() + m_homeRect.width();
    if (homeRight + 1 < m_bandStart)
        painter.drawLine(QPointF(homeRight + 0.5, lineTop), QPointF(homeRight + 0.5, lineBottom));

    const QRect settings = insetChip(m_settingsRect);
    if (settings.width() > 4) {
        chipColours(m_settingsActive, m_hoverSettings, &fill, &ink);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(settings).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
        const QRectF box(settings.x() + m_chipInset, settings.center().y() - iconSide / 2.0 + 0.5, iconSide,
                         iconSide);
        paintGlyph(painter, Glyph::Settings, box, ink, 2.0);
        const int textLeft = settings.x() + m_chipInset + iconSide + 8;
        painter.setPen(ink);
        painter.drawText(QRect(textLeft, settings.y(), settings.right() - m_chipInset - textLeft + 1,
                               settings.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("设置"));
    }

    painter.setPen(QPen(t.divider, 1));
    painter.drawLine(QPointF(m_openRect.x() + 0.5, lineTop), QPointF(m_openRect.x() + 0.5, lineBottom));
    const QRect open = insetChip(m_openRect);
    if (m_hoverOpen) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(t.hover);
        painter.drawRoundedRect(QRectF(open).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
    }
    painter.setPen(m_hoverOpen ? t.primary : t.textMuted);
    painter.drawText(open, Qt::AlignCenter, QStringLiteral("打开"));
}

void DocumentTabs::paintChip(QPainter &painter, int index) const
{
    const Theme &t = theme();
    const Tab &tab = m_tabs.at(index);
    const bool current = index == m_current && !m_homeActive && !m_settingsActive;
    const bool hovered = index == m_hovered && !current;
    QColor title = t.textMuted;
    QColor cross = t.textMuted;
    if (current || hovered) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(current ? t.secondaryContainer : t.hover);
        painter.drawRoundedRect(QRectF(tab.chip).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
        title = current ? t.onSecondaryContainer : t.text;
        cross = current ? t.onSecondaryContainer : t.textMuted;
    }
    painter.setPen(title);
    painter.drawText(QRect(tab.chip.x() + m_chipInset, tab.chip.y(), tab.textWidth, tab.chip.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, tab.elided);
    if (index == m_hovered && m_hoverClose) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(t.fillStrong);
        painter.drawEllipse(QRectF(tab.close).adjusted(1, 1, -1, -1));
        cross = t.text;
    }
    const double in = 0.3 * tab.close.width();
    const QRectF x = QRectF(tab.close).adjusted(in, in, -in, -in);
    QPen pen(cross, std::max(0.055 * m_chipHeight, 1.6));
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.drawLine(x.topLeft(), x.bottomRight());
    painter.drawLine(x.topRight(), x.bottomLeft());
}

void DocumentTabs::paintHomeIcon(QPainter &painter, const QRectF &box, const QColor &color) const
{
    // A house: a roof over a body with a door, on a 24-unit grid.
    const double u = box.width() / 24.0;
    const auto at = [&](double x, double y) { return QPointF(box.x() + x * u, box.y() + y * u); };
    QPainterPath path;
    path.moveTo(at(3, 11));
    path.lineTo(at(12, 3.5));
    path.lineTo(at(21, 11));
    path.moveTo(at(5.5, 9.5));
    path.lineTo(at(5.5, 20.5));
    path.lineTo(at(18.5, 20.5));
    path.lineTo(at(18.5, 9.5));
    path.moveTo(at(10, 20.5));
    path.lineTo(at(10, 15));
    path.lineTo(at(14, 15));
    path.lineTo(at(14, 20.5));
    QPen pen(color, 2.0);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}
