#include "pages/settingspage_chrome.h"

#include "ui/appicon.h"
#include "ui/theme.h"
#include "ui/uimetrics.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QVariantAnimation>

NavItem::NavItem(Glyph glyph, const QString &label, QWidget *parent)
    : QAbstractButton(parent)
    , m_glyph(glyph)
{
    setText(label);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(label);
}

void NavItem::setFolded(bool folded)
{
    m_folded = folded;
    setToolTip(folded ? text() : QString());
    updateGeometry();
    update();
}

QSize NavItem::sizeHint() const
{
    const UiMetrics m = uiMetrics(font());
    if (m_folded)
        return QSize(m.touchTarget, m.touchTarget);
    return QSize(m.touchTarget + fontMetrics().horizontalAdvance(text()) + 2 * m.gapL, m.touchTarget);
}

void NavItem::paintEvent(QPaintEvent *)
{
    const Theme &colors = theme();
    const UiMetrics m = uiMetrics(font());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (isChecked() || underMouse()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(isChecked() ? colors.accentSoft : colors.hover);
        painter.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    }
    const QColor ink = isChecked() ? colors.accent : colors.textMuted;
    const QRectF glyphRect(box.left() + (m.touchTarget - m.glyphSize) / 2.0,
                           box.center().y() - m.glyphSize / 2.0, m.glyphSize, m.glyphSize);
    paintGlyph(painter, m_glyph, glyphRect, ink, qMax(1.5, m.glyphSize / 12.0));
    if (m_folded)
        return;
    painter.setPen(isChecked() ? colors.accent : colors.text);
    QFont labelFont = font();
    labelFont.setWeight(isChecked() ? QFont::DemiBold : QFont::Normal);
    painter.setFont(labelFont);
    painter.drawText(box.adjusted(m.touchTarget, 0, -m.gapL, 0), Qt::AlignVCenter | Qt::AlignLeft, text());
}

RailPane::RailPane(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("settingsRail"));
    const UiMetrics m = uiMetrics(font());
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(m.gapL, m.gapXl, m.gapL, m.gapL);
    column->setSpacing(m.gapXs);
    column->addStretch(1);
}

NavItem *RailPane::addItem(Glyph glyph, const QString &label)
{
    auto *item = new NavItem(glyph, label, this);
    item->setObjectName(QStringLiteral("settingsNav%1").arg(m_items.size()));
    const int index = int(m_items.size());
    m_items.append(item);
    auto *column = static_cast<QVBoxLayout *>(layout());
    column->insertWidget(index, item);
    connect(item, &NavItem::clicked, this, [this, index] { emit picked(index); });
    return item;
}

void RailPane::setFolded(bool folded)
{
    m_folded = folded;
    for (NavItem *item : std::as_const(m_items))
        item->setFolded(folded);
}

void RailPane::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), theme().surfaceContainerLow);
    painter.fillRect(QRect(width() - 1, 0, 1, height()), theme().divider);
}

GlyphBox::GlyphBox(Glyph glyph, QWidget *parent)
    : QWidget(parent)
    , m_glyph(glyph)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize GlyphBox::sizeHint() const
{
    const int side = uiMetrics(font()).touchTarget * 3 / 4;
    return QSize(side, side);
}

void GlyphBox::paintEvent(QPaintEvent *)
{
    const Theme &colors = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colors.accentSoft);
    painter.drawRoundedRect(box, box.width() * 0.28, box.height() * 0.28);
    const double inset = box.width() * 0.22;
    paintGlyph(painter, m_glyph, box.adjusted(inset, inset, -inset, -inset), colors.accent,
               qMax(1.5, box.width() / 20.0));
}

AppBadge::AppBadge(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize AppBadge::sizeHint() const
{
    const int side = uiMetrics(font()).touchTarget * 3 / 2;
    return QSize(side, side);
}

void AppBadge::paintEvent(QPaintEvent *)
{
    // The program's own icon, picked from its rendered sizes for this
    // screen's pixel ratio so it stays sharp.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    appIcon().paint(&painter, rect());
}

FadeThrough::FadeThrough(QWidget *parent)
    : QWidget(parent)
    , m_animation(new QVariantAnimation(this))
{
    setObjectName(QStringLiteral("settingsFade"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toDouble();
        update();
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        hide();
        m_from = QPixmap();
        m_to = QPixmap();
    });
}

void FadeThrough::run(const QPixmap &from, const QPixmap &to, int durationMs)
{
    m_animation->stop();
    if (durationMs <= 0 || from.isNull() || to.isNull()) {
        hide();
        return;
    }
    m_from = from;
    m_to = to;
    m_progress = 0;
    setGeometry(parentWidget()->rect());
    raise();
    show();
    m_animation->setDuration(durationMs);
    m_animation->start();
}

bool FadeThrough::isRunning() const { return m_animation->state() == QAbstractAnimation::Running; }

void FadeThrough::paintEvent(QPaintEvent *)
{
    // Fade through: the old view fades out over the first half, the new one in over the second.
    QPainter painter(this);
    painter.fillRect(rect(), theme().desk);
    if (m_progress < 0.5) {
        painter.setOpacity(1.0 - m_progress * 2.0);
        painter.drawPixmap(0, 0, m_from);
    } else {
        painter.setOpacity((m_progress - 0.5) * 2.0);
        painter.drawPixmap(0, 0, m_to);
    }
}
